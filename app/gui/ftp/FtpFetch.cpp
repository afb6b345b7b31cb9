#include "app/gui/ftp/FtpFetch.h"

#include "core/Progress.h"

#include <QTimer>

TFtpFetch::TFtpFetch(TFtpSettings settings, std::string user, int animation, TProgress& progress, TLogin login,
                     TMessage message, QObject* parent)
    : QObject(parent), Settings(std::move(settings)), ProfileUser(std::move(user)), Animation(animation),
      Progress(progress), Login(std::move(login)), Message(std::move(message)) {
    Timer = new QTimer(this);
    Timer->setInterval(50);
    connect(Timer, &QTimer::timeout, this, &TFtpFetch::Poll);
}

TFtpFetch::~TFtpFetch() = default;

void TFtpFetch::Start() {
    Progress.SetJobs(2, Animation, true);
    Attempt();
}

void TFtpFetch::Attempt() {
    // Every attempt starts again from the profile's user name.
    std::string user = ProfileUser, password;
    if (!Login(Settings.Host, user, password)) return End(FetchCancelled);
    Worker = std::make_unique<TFTPDLThread>(Settings, Progress);
    Worker->User = user;
    Worker->Password = std::move(password);
    Worker->Start();
    Timer->start();
}

void TFtpFetch::Poll() {
    if (!Worker) return Timer->stop();
    if (Progress.CancelRequested()) Worker->Terminate();
    if (!Worker->Finished() || Worker->Status() == FetchRunning) return;
    Timer->stop();
    const TFetchStatus status = Worker->Status();
    Worker.reset();
    if (status == FetchConnectFailed)
        Message("Quorvel couldn't connect to your FTP server. Please verify that your ftp settings are correct.");
    if (status == FetchLoginFailed) {
        Message("Wrong login/password. Please try again.");
        // Asked again once this slot has returned.
        QTimer::singleShot(0, this, &TFtpFetch::Attempt);
        return;
    }
    End(status);
}

void TFtpFetch::End(TFetchStatus status) {
    Outcome = status;
    emit Finished(status);
}
