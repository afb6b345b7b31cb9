#include "app/gui/main/Main.h"

#include "app/gui/progress/u_progress.h"
#include "sources/BatchLookup.h"

#include <QEvent>

TfMain::TfMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName("TfMain");
    setWindowTitle("Quorvel Profiles Summary");
    resize(900, 600);
}

TfMain::~TfMain() {
    if (BatchLookup().DnsEntryCount() > 0) BatchLookup().SaveDnsCache(DnsCacheFileName());
}

void TfMain::ShowStartupTips() {
}

void TfMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A job's progress window stays in front of the window it belongs to.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && IsProgressActive()) {
        GetProgress().raise();
        GetProgress().activateWindow();
    }
}
