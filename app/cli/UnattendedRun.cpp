// The unattended run: no window and no display are needed, messages go to standard error,
// and the exit status tells the result (see Usage).

#include "app/cli/UnattendedRun.h"

#include "app/cli/CommandLine.h"

#include "core/ConsoleProgress.h"
#include "core/ReportRunner.h"
#include "core/u_analysethread.h"
#include "profile/DefaultRecords.h"
#include "profile/ProfileHeaders.h"
#include "profile/u_qvgensettings.h"
#include "report/ChartRender.h"
#include "sources/BatchLookup.h"
#include "sources/DateTime.h"
#include "sources/SpecialFolders.h"
#include "sources/FileUtils.h"
#include "sources/SystemInfo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::atomic<bool> gInterrupted{false};

// The report job's refusal of a name that names no profile; the answer here names it.
constexpr std::string_view kNoSuchProfile = "Invalid profile name.";

void OnInterrupt(int) {
    gInterrupted.store(true);
}

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quorvel [PROFILE]\n"
                 "       quorvel [OPTION]... [--] PROFILE\n"
                 "       quorvel --logs PATH... [--output DIR] [--format FORMAT] [--json FILE] [--csv DIR]\n"
                 "       quorvel --list | --help | --version\n"
                 "Without any argument opens the window, where profiles are made and edited.\n"
                 "With PROFILE makes that profile's report from its logs, without a window and without\n"
                 "a display, and prints the report's start page.\n"
                 "\n"
                 "Options:\n"
                 "  --logs PATH...   a one-off report of these log files and folders (archives too; \"-\" is\n"
                 "                   standard input, read first) with the settings of a fresh profile,\n"
                 "                   saved to no profile\n"
                 "                     zcat access.log.*.gz | quorvel --logs -\n"
                 "  --output DIR     with --logs: the report's folder (default: a folder named after the\n"
                 "                   report in the current folder)\n"
                 "                     quorvel --logs /var/log/nginx --output /srv/www/stats\n"
                 "  --format FORMAT  with --logs: the logs' format string (default: detected from the\n"
                 "                   first line)\n"
                 "                     quorvel --logs app.log --format '%%H %%x %%u [%%d/%%m/%%y:%%h:%%n:%%s %%z] "
                 "\"%%M %%f %%x\" %%c %%b'\n"
                 "  --json FILE      also write every table of the report, all rows, as one JSON document\n"
                 "                     quorvel MySite --json mysite.json\n"
                 "  --csv DIR        also write every table of the report as a CSV file in DIR\n"
                 "                     quorvel --logs access.log --csv stats/\n"
                 "  --list           list the profiles: name, a tab, the last report's date or \"never\"\n"
                 "                     quorvel --list\n"
                 "  -h, --help       show this help and exit\n"
                 "                     quorvel --help\n"
                 "  -V, --version    show the version and exit\n"
                 "                     quorvel --version\n"
                 "  --               end of the options: what follows is the profile's name\n"
                 "                     quorvel -- -odd-name\n"
                 "Examples:\n"
                 "  quorvel                 open the window\n"
                 "  quorvel MySite          make the report of the profile MySite\n"
                 "\n"
                 "Profiles are kept in %s (one .xml file each).\n"
                 "Ctrl+C cancels the report cleanly.\n"
                 "\n"
                 "Exit status: 0 report written, 1 failure, 2 invalid profile name, 3 missing template,\n"
                 "4 no report language, 5 no data, 6 cancelled, 7 the profile's report is being made by\n"
                 "another run, 8 the logs could not be fetched by FTP, 64 wrong arguments.\n",
                 (DataFolder() + "profiles/").c_str());
}

// How to make a first profile, for answers that find none.
void TellHowToMakeAProfile() {
    std::fprintf(stderr,
                 "quorvel: there are no profiles yet; make one in the window (run quorvel without arguments)\n"
                 "or copy a profile record into %s\n",
                 (DataFolder() + "profiles/").c_str());
}

int ListProfiles() {
    const std::vector<TProfileHeader> headers = ListProfileHeaders();
    if (headers.empty()) TellHowToMakeAProfile();
    for (const TProfileHeader& header : headers)
        std::printf("%s\t%s\n", header.ProfileName.c_str(),
                    header.LastReportDate == 0 ? "never" : FormatDateTime("yyyy-mm-dd", header.LastReportDate).c_str());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "quorvel: the list could not be written\n");
        return rsFailed;
    }
    return rsCompleted;
}

// The answer to a profile name that names no profile: which name, and what there is instead.
void TellUnknownProfile(const std::string& name) {
    std::fprintf(stderr, "quorvel: no profile named \"%s\"\n", name.c_str());
    const std::vector<TProfileHeader> headers = ListProfileHeaders();
    if (headers.empty()) {
        TellHowToMakeAProfile();
        return;
    }
    std::string names;
    for (const TProfileHeader& header : headers)
        names += (names.empty() ? "" : ", ") + header.ProfileName;
    std::fprintf(stderr, "Profiles: %s\n", names.c_str());
}

// What can be told before a run: a named log that is not there, a statistics file whose
// folder cannot take it. Empty when nothing is wrong.
std::string ArgumentProblem(const TCommandLine& line) {
    struct stat st {};
    for (const std::string& path : line.LogPaths)
        if (path != "-" && stat(path.c_str(), &st) != 0)
            return "the log \"" + path + "\" cannot be read: " + std::strerror(errno);
    if (!line.JsonFile.empty()) {
        const std::string folder = ExtractFilePath(line.JsonFile);
        if (access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0)
            return "the JSON file \"" + line.JsonFile + "\" cannot be written: " + std::strerror(errno);
    }
    if (!line.CsvFolder.empty() && stat(line.CsvFolder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        return "the CSV folder \"" + line.CsvFolder + "\" is not a folder";
    return {};
}

} // namespace

int RunUnattended(int argc, char** argv) {
    const TCommandLine line = ParseCommandLine(argc, argv);
    if (!line.Error.empty()) {
        std::fprintf(stderr, "quorvel: %s\nTry 'quorvel --help' for more information.\n", line.Error.c_str());
        return 64;
    }
    if (line.Action == TCliAction::Help) {
        Usage(stdout);
        return 0;
    }
    if (line.Action == TCliAction::Version) {
        std::printf("quorvel %s\n", FileVersionString(argv[0]).c_str());
        return 0;
    }
    if (line.Action == TCliAction::List) {
        InstallDefaultRecords();
        return ListProfiles();
    }

    if (const std::string problem = ArgumentProblem(line); !problem.empty()) {
        std::fprintf(stderr, "quorvel: %s\n", problem.c_str());
        return line.Action == TCliAction::Logs && problem.starts_with("the log ") ? 64 : rsFailed;
    }

    InstallDefaultRecords();
    LoadSettings();
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    TConsoleProgress progress(stderr);
    TUserInterfaceDispatcher dispatcher; // unattended: the transform runs on the job's thread
    const auto message = [&](const std::string& text) {
        progress.Finish();
        if (text == kNoSuchProfile)
            TellUnknownProfile(line.ProfileName);
        else
            std::fprintf(stderr, "quorvel: %s\n", text.c_str());
    };
    const auto waitStep = [&] {
        if (gInterrupted.load()) progress.RequestCancel();
        progress.Refresh();
    };
    const TStatsExportTargets exportTargets{line.JsonFile, line.CsvFolder};
    TRunReportResult result;
    if (line.Action == TCliAction::Logs) {
        result = RunOneOffReport({line.LogPaths, line.LogFormat, line.OutputFolder}, progress, dispatcher, message,
                                 waitStep, exportTargets);
        if (result.Status == rsNoData && !line.LogFormat.empty())
            message("the format \"" + line.LogFormat + "\" fits none of the lines read");
    } else {
        result = RunReport(line.ProfileName, true, progress, dispatcher, message, waitStep, exportTargets);
    }
    progress.Finish();
    if (result.Status == rsCompleted) std::printf("Report written: %s\n", result.StartPage.c_str());

    if (BatchLookup().DnsEntryCount() > 0 && !BatchLookup().SaveDnsCache(DnsCacheFileName()))
        std::fprintf(stderr, "quorvel: the DNS cache could not be saved to %s\n", DnsCacheFileName().c_str());
    std::string error;
    if (!SaveSettings(&error)) std::fprintf(stderr, "quorvel: the settings could not be saved: %s\n", error.c_str());
    ReleaseChartCaches();
    return result.Status;
}
