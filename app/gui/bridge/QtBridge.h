#pragma once
// Where the window meets the core: texts between the core's UTF-8 strings and Qt, and the
// dispatcher that runs a job's user-interface steps (the report transform) on the window's thread.

#include "core/u_analysethread.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQString(const QString& text) {
    return text.toUtf8().toStdString();
}

// Runs work on the thread that created the dispatcher (the window's) and waits for it; called
// from that thread itself, it runs work at once. The window must keep its event loop running
// while a job may call it (it never blocks waiting for the job). The work is handed over under
// a lock of ours, and the event loop is only woken, so that the hand-over is plain to see for
// the thread checker too.
class TQtDispatcher : public QObject, public TUserInterfaceDispatcher {
    Q_OBJECT
public:
    void RunAndWait(const std::function<void()>& work) override;

private slots:
    void RunPending();

private:
    std::mutex CallMutex; // one caller at a time
    std::mutex Mutex;     // guards Pending
    std::condition_variable Done;
    const std::function<void()>* Pending = nullptr;
};

class QWidget;
// Moves a window to the middle of its screen (call it when the window is shown).
void CenterOnScreen(QWidget& window);

// The program's help page topic ("index.htm", "support.htm", "profile/index.htm") in the
// user's browser. False when the page is missing or no browser could be started.
bool OpenHelpTopic(std::string_view topic);
// A file or folder in the user's default program for it; false when none could be started.
bool OpenInDesktop(const std::string& path);
