#include "app/gui/main/MainDialogs.h"

#include "app/gui/bridge/QtBridge.h"
#include "app/gui/ftp/TfPassword.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

void TQtMainDialogs::Message(const std::string& text) {
    QMessageBox::information(Parent, QApplication::applicationName(), ToQString(text));
}

bool TQtMainDialogs::Confirm(const std::string& text) {
    return QMessageBox::question(Parent, QApplication::applicationName(), ToQString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> TQtMainDialogs::AskText(const std::string& title, const std::string& prompt) {
    bool ok = false;
    const QString text = QInputDialog::getText(Parent, ToQString(title), ToQString(prompt), QLineEdit::Normal, {}, &ok);
    if (!ok) return std::nullopt;
    return FromQString(text);
}

void TQtMainDialogs::About(const std::string& title, const std::string& text) {
    QMessageBox::about(Parent, ToQString(title), ToQString(text));
}

bool TQtMainDialogs::AskFtpLogin(const std::string& host, std::string& user, std::string& password) {
    return ::AskFtpLogin(Parent, host, user, password);
}
