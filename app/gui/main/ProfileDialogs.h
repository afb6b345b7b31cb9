#pragma once
// The dialogs the main window opens besides its own message boxes: a new profile's basic
// settings, the same settings of an existing profile, and the tips.

#include <string>

class QWidget;

// Asks for a new profile's basic settings and saves it; the saved profile's name, or empty
// when the user cancelled.
std::string RunNewProfileDialog(QWidget* parent);
// Edits the basic settings of the profile profileName and saves them on OK; true when saved.
bool RunEditProfileDialog(QWidget* parent, const std::string& profileName);
// The tips dialog: at start-up (forced false) only when the user wants tips, always when forced.
void ShowTipsDialog(QWidget* parent, bool forced);
