#pragma once
// The window's FTP fetch before a report: asks for the login, runs the fetch worker while the
// progress window shows it, and asks again after a refused login. Runs on the window's event
// loop; Finished tells the outcome.

#include "sources/u_ftpdlthread.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QTimer;
class TProgress;

class TFtpFetch : public QObject {
    Q_OBJECT
public:
    using TLogin = std::function<bool(const std::string& host, std::string& user, std::string& password)>;
    using TMessage = std::function<void(const std::string&)>;

    // user: the profile's user name, offered again on every attempt. login asks for the login
    // (false: cancelled); message shows the fetch's failures.
    TFtpFetch(TFtpSettings settings, std::string user, int animation, TProgress& progress, TLogin login,
              TMessage message, QObject* parent = nullptr);
    ~TFtpFetch() override;

    void Start();
    TFetchStatus Status() const { return Outcome; }

signals:
    void Finished(int status);

private:
    void Attempt();
    void Poll();
    void End(TFetchStatus status);

    TFtpSettings Settings;
    std::string ProfileUser;
    int Animation;
    TProgress& Progress;
    TLogin Login;
    TMessage Message;
    std::unique_ptr<TFTPDLThread> Worker;
    QTimer* Timer;
    TFetchStatus Outcome = FetchRunning;
};
