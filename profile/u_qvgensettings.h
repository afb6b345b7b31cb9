#pragma once
// The settings that belong to the user rather than to a profile (tips at start-up, the
// next tip, the sort state of the main window's lists), kept as the record "settings"
// directly in the data folder, and the state of the tips dialog.

#include "profile/u_cvprofile.h"

#include <cstdint>
#include <string>

class TCVQVGenSettings : public TCVProfile {
public:
    TCVQVGenSettings();

    bool ShowTips = true;    // show the tips dialog at start-up
    int32_t LastTip = 0;     // 0-based line of the next tip to show
    int32_t ProfileSort = 0; // column in the low 8 bits, plus 256 for descending
    int32_t ReportSort = 0;  // the same for the archived-reports list

    void ReadValues() override;
    void WriteValues() override;
    void SetDefaults() override;

    // Whether the tips dialog opens: always when forced (the "Tips" action), else as ShowTips says.
    bool WantsTips(bool forced) const { return forced || ShowTips; }
};

// The one instance, created by LoadSettings (or by the first call here) and destroyed by SaveSettings.
TCVQVGenSettings& GenSettings();
// Loads the record "settings"; when it cannot be read, fresh settings under the next free
// variant of that name, so that a damaged file is left as it is.
void LoadSettings();
// Saves and destroys the instance; false with the system's message in *error when the
// file could not be written.
bool SaveSettings(std::string* error = nullptr);

// What the tips dialog shows: one tip per line of the tips file.
class TTipsState {
public:
    // tipsFile: ProgramFolder() + "cvtips.txt" when empty.
    explicit TTipsState(std::string tipsFile = {});

    // Shows tip k, starting over at the first tip when k is beyond the last. False, with
    // the previous tip kept, when the tips file is missing, unreadable or empty.
    bool ShowTip(int32_t k);
    // Shows the tip after the one shown (the first when none was).
    bool Next() { return ShowTip(Shown + 1); }

    // The text in the dialog; empty until a tip was shown.
    const std::string& Text() const { return ShownText; }
    // Number of the tip shown; -1 when none could be shown.
    int32_t ShownTip() const { return Shown; }
    // The LastTip to keep when the dialog closes: the tip after the one shown.
    int32_t NextLastTip() const { return Shown + 1; }

private:
    std::string TipsFile;
    int32_t Shown = -1;
    std::string ShownText;
};
