#include "app/gui/GuiRun.h"

#include "app/gui/bridge/QtBridge.h"
#include "app/gui/main/Main.h"
#include "profile/DefaultRecords.h"
#include "profile/u_qvgensettings.h"
#include "report/ChartRender.h"
#include "sources/SpecialFolders.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kNoWindowHint[] = "to make a report without a window run: quorvel PROFILE (see quorvel --help)";

bool HasDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// While the application starts: a display that cannot be reached ends the program with one
// line of ours instead of Qt's abort; Qt's own warnings of that moment are held back.
void StartupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) return;
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (!display || !*display) display = std::getenv("DISPLAY");
    if (message.contains("platform plugin"))
        std::fprintf(stderr, "quorvel: the window cannot be opened: no connection to the display \"%s\"; %s\n",
                     display ? display : "", kNoWindowHint);
    else
        std::fprintf(stderr, "quorvel: the window cannot be opened: %s; %s\n",
                     message.section('\n', 0, 0).trimmed().toLocal8Bit().constData(), kNoWindowHint);
    std::_Exit(1);
}

} // namespace

int RunWindow(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "quorvel: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); %s\n",
                     kNoWindowHint);
        return 1;
    }
    qInstallMessageHandler(StartupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    QApplication::setApplicationName("Quorvel");
    QApplication::setOrganizationName("Corvantis");
    QApplication::setApplicationVersion(QUORVEL_VERSION);
    QApplication::setDesktopFileName("quorvel");
    QApplication::setWindowIcon(QIcon(ToQString(ProgramFolder() + "icons/quorvel.svg")));

    InstallDefaultRecords();
    LoadSettings();
    int status = 0;
    {
        TfMain window;
        window.show();
        window.ShowStartupTips();
        status = QApplication::exec();
    }
    std::string error;
    if (!SaveSettings(&error)) std::fprintf(stderr, "quorvel: the settings could not be saved: %s\n", error.c_str());
    ReleaseChartCaches();
    return status;
}
