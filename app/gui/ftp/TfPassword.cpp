#include "app/gui/ftp/TfPassword.h"

#include "app/gui/bridge/QtBridge.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kMaxLength = 64;

} // namespace

TfPassword::TfPassword(const std::string& host, const std::string& user, QWidget* parent) : QDialog(parent) {
    setObjectName("TfPassword");
    setWindowTitle("Password needed");
    lblMain = new QLabel(ToQString("Login information needed for host \"" + host + "\":"), this);
    lblMain->setObjectName("lblMain");
    lblMain->setWordWrap(true);
    edtUsername = new QLineEdit(ToQString(user), this);
    edtUsername->setObjectName("edtUsername");
    edtUsername->setMaxLength(kMaxLength);
    edtPass = new QLineEdit(this);
    edtPass->setObjectName("edtPass");
    edtPass->setMaxLength(kMaxLength);
    edtPass->setEchoMode(QLineEdit::Password);

    auto* fields = new QFormLayout();
    fields->addRow("Username:", edtUsername);
    fields->addRow("Password:", edtPass);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMain);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    // A known user name leaves only the password to type.
    (user.empty() ? edtUsername : edtPass)->setFocus();
}

std::string TfPassword::User() const {
    return FromQString(edtUsername->text());
}

std::string TfPassword::Password() const {
    return FromQString(edtPass->text());
}

void TfPassword::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterOnScreen(*this);
}

bool AskFtpLogin(QWidget* parent, const std::string& host, std::string& user, std::string& password) {
    TfPassword dialog(host, user, parent);
    const bool ok = dialog.exec() == QDialog::Accepted;
    user = dialog.User();
    password = ok ? dialog.Password() : std::string();
    dialog.edtPass->clear();
    return ok;
}
