// The unattended run: no window and no display are needed, messages go to standard error,
// and the exit status tells the result (see Usage).

#include "app/cli/UnattendedRun.h"

#include "core/ConsoleProgress.h"
#include "core/ReportRunner.h"
#include "core/u_analysethread.h"
#include "profile/DefaultRecords.h"
#include "profile/u_qvgensettings.h"
#include "report/ChartRender.h"
#include "sources/BatchLookup.h"
#include "sources/SpecialFolders.h"
#include "sources/SystemInfo.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int) {
    gInterrupted.store(true);
}

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quorvel [PROFILE]\n"
                 "Without PROFILE opens the window. With PROFILE makes that profile's report from its logs,\n"
                 "without a window and without a display.\n"
                 "\n"
                 "  -h, --help     show this help and exit\n"
                 "  -V, --version  show the version and exit\n"
                 "\n"
                 "Profiles are kept in %s.\n"
                 "Ctrl+C cancels the report cleanly.\n"
                 "\n"
                 "Exit status: 0 report written, 1 failure, 2 invalid profile name, 3 missing template,\n"
                 "4 no report language, 5 no data, 6 cancelled, 7 the profile's report is being made by\n"
                 "another run, 8 the logs could not be fetched by FTP, 64 wrong arguments.\n",
                 (DataFolder() + "profiles/").c_str());
}

} // namespace

int RunUnattended(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        Usage(stdout);
        return 0;
    }
    if (argc == 2 && (std::string_view(argv[1]) == "--version" || std::string_view(argv[1]) == "-V")) {
        std::printf("quorvel %s\n", FileVersionString(argv[0]).c_str());
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        Usage(stderr);
        return 64;
    }

    InstallDefaultRecords();
    LoadSettings();
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    TConsoleProgress progress(stderr);
    TUserInterfaceDispatcher dispatcher; // unattended: the transform runs on the job's thread
    const TRunReportResult result = RunReport(
        argv[1], true, progress, dispatcher,
        [&](const std::string& text) {
            progress.Finish();
            std::fprintf(stderr, "quorvel: %s\n", text.c_str());
        },
        [&] {
            if (gInterrupted.load()) progress.RequestCancel();
            progress.Refresh();
        });
    progress.Finish();
    if (result.Status == rsCompleted) std::printf("Report written: %s\n", result.StartPage.c_str());

    if (BatchLookup().DnsEntryCount() > 0 && !BatchLookup().SaveDnsCache(DnsCacheFileName()))
        std::fprintf(stderr, "quorvel: the DNS cache could not be saved to %s\n", DnsCacheFileName().c_str());
    std::string error;
    if (!SaveSettings(&error)) std::fprintf(stderr, "quorvel: the settings could not be saved: %s\n", error.c_str());
    ReleaseChartCaches();
    return result.Status;
}
