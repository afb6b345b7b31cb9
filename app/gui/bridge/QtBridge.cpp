#include "app/gui/bridge/QtBridge.h"

#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QThread>
#include <QUrl>

void TQtDispatcher::RunAndWait(const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    // Queued to the event loop; the calling job waits until the window's thread has run it.
    QMetaObject::invokeMethod(
        app, [&work] { work(); }, Qt::BlockingQueuedConnection);
}

bool OpenHelpTopic(std::string_view topic) {
    const std::string page = ProgramFolder() + "help/html/" + std::string(topic.empty() ? "index.htm" : topic);
    if (!FileExists(page)) return false;
    return OpenInDesktop(page);
}

bool OpenInDesktop(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(ToQString(path)));
}
