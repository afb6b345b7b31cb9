#include "app/gui/main/ProfileDialogs.h"

std::string RunNewProfileDialog(QWidget*) {
    return {};
}

bool RunEditProfileDialog(QWidget*, const std::string&) {
    return false;
}

void ShowTipsDialog(QWidget*, bool) {}
