#pragma once
// Every message box, confirmation and input box of the main window goes through TMainDialogs,
// so that tests can script the answers; TQtMainDialogs shows the real boxes.

#include <optional>
#include <string>

class QWidget;

class TMainDialogs {
public:
    virtual ~TMainDialogs() = default;
    // A message the user acknowledges.
    virtual void Message(const std::string& text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // A line of text asked for under title; nothing when the user cancelled.
    virtual std::optional<std::string> AskText(const std::string& title, const std::string& prompt) = 0;
    // The about box.
    virtual void About(const std::string& title, const std::string& text) = 0;
    // The login of an FTP host (see AskFtpLogin); false when the user cancelled.
    virtual bool AskFtpLogin(const std::string& host, std::string& user, std::string& password) {
        (void)host, (void)user, password.clear();
        return false;
    }
};

class TQtMainDialogs : public TMainDialogs {
public:
    explicit TQtMainDialogs(QWidget* parent) : Parent(parent) {}
    void Message(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    std::optional<std::string> AskText(const std::string& title, const std::string& prompt) override;
    void About(const std::string& title, const std::string& text) override;
    bool AskFtpLogin(const std::string& host, std::string& user, std::string& password) override;

private:
    QWidget* Parent;
};
