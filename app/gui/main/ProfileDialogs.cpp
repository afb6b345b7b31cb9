#include "app/gui/main/ProfileDialogs.h"

#include "app/gui/bridge/QtBridge.h"
#include "app/gui/main/TfProfileBasics.h"
#include "app/gui/main/TfTips.h"
#include "profile/u_qvgensettings.h"

#include <QMessageBox>

std::string RunNewProfileDialog(QWidget* parent) {
    TfProfileBasics dialog({}, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.SavedName() : std::string();
}

bool RunEditProfileDialog(QWidget* parent, const std::string& profileName) {
    TfProfileBasics dialog(profileName, parent);
    if (!dialog.Loaded()) {
        QMessageBox::warning(parent, "Edit profile",
                             QString("The profile \"%1\" could not be read.").arg(ToQString(profileName)));
        return false;
    }
    return dialog.exec() == QDialog::Accepted;
}

void ShowTipsDialog(QWidget* parent, bool forced) {
    TCVQVGenSettings& settings = GenSettings();
    if (!settings.WantsTips(forced)) return;
    TfTips dialog(settings, {}, parent);
    dialog.exec();
}
