#include "app/gui/bridge/QtBridge.h"

#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <QDesktopServices>
#include <QScreen>
#include <QThread>
#include <QUrl>
#include <QWidget>

void TQtDispatcher::RunAndWait(const std::function<void()>& work) {
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    std::lock_guard<std::mutex> call(CallMutex);
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Pending = &work;
    }
    QMetaObject::invokeMethod(this, "RunPending", Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(Mutex);
    Done.wait(lock, [this] { return Pending == nullptr; });
}

void TQtDispatcher::RunPending() {
    const std::function<void()>* work;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        work = Pending;
    }
    if (!work) return;
    (*work)();
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Pending = nullptr;
    }
    Done.notify_all();
}

bool OpenHelpTopic(std::string_view topic) {
    const std::string page = ProgramFolder() + "help/html/" + std::string(topic.empty() ? "index.htm" : topic);
    if (!FileExists(page)) return false;
    return OpenInDesktop(page);
}

bool OpenInDesktop(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(ToQString(path)));
}

void CenterOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}
