#pragma once
// The login dialog of an FTP fetch: the user name and the password for a host. The password is
// asked for on every fetch and never stored.

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;

class TfPassword : public QDialog {
    Q_OBJECT
public:
    TfPassword(const std::string& host, const std::string& user, QWidget* parent = nullptr);

    std::string User() const;
    std::string Password() const;

    QLabel* lblMain;
    QLineEdit* edtUsername;
    QLineEdit* edtPass;

protected:
    void showEvent(QShowEvent* event) override;
};

// Asks for the login of host: user is shown and takes what was typed whatever closed the dialog;
// password takes the typed password on OK (true) and is emptied on Cancel (false).
bool AskFtpLogin(QWidget* parent, const std::string& host, std::string& user, std::string& password);
