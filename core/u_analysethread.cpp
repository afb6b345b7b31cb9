#include "core/u_analysethread.h"

#include "core/Progress.h"
#include "core/u_loganalyser.h"
#include "core/u_searchenginefinder.h"
#include "profile/u_qvprofile.h"
#include "report/CLangReader.h"
#include "report/ChartConvert.h"
#include "report/ChartQueue.h"
#include "report/ReportFolder.h"
#include "report/ReportStaging.h"
#include "report/u_chartsvg.h"
#include "report/StatisticsCompiler.h"
#include "sources/FileUtils.h"
#include "sources/ReportName.h"
#include "sources/SpecialFolders.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

// The statistics view each field of effect groups; other fields are not registered.
constexpr TViewKind kGroupViewKinds[] = {vkPage, vkReferringDomain, vkBrowser, vkOS, vkPhrase, vkHost};

// 1234567 as "1,234,567".
std::string GroupedNumber(int64_t n) {
    std::string digits = std::to_string(n < 0 ? -n : n), text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return n < 0 ? "-" + text : text;
}

// Seconds as "1.52 s".
std::string ElapsedText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

// Removes a folder with everything in it when the scope ends.
struct TFolderRemover {
    std::string Folder;
    ~TFolderRemover() { EmptyFolder(Folder, true); }
};

} // namespace

TAnalyseThread::TAnalyseThread(TQVProfile& profile, TProgress& progress, TUserInterfaceDispatcher& dispatcher)
    : Profile(profile), Progress(progress), Dispatcher(dispatcher) {
}

TAnalyseThread::~TAnalyseThread() {
    if (Worker.joinable()) Worker.join();
}

void TAnalyseThread::Terminate() {
    Progress.RequestCancel();
}

bool TAnalyseThread::TerminationRequested() const {
    return Progress.CancelRequested();
}

void TAnalyseThread::Start() {
    ResultCode.store(jrRunning);
    Worker = std::thread([this] { Execute(); });
}

int TAnalyseThread::WaitFor() {
    if (Worker.joinable()) Worker.join();
    return ResultCode.load();
}

int TAnalyseThread::Execute() {
    int result = jrFailed;
    try {
        result = RunSteps();
    } catch (const std::exception& e) {
        // Nothing may escape the job's thread: the job ends with a failure and says why.
        Notes.push_back(std::string("The report could not be written: ") + e.what());
        result = jrFailed;
    } catch (...) {
        Notes.push_back("The report could not be written: an unexpected error occurred.");
        result = jrFailed;
    }
    // A cancel that came after the report was committed leaves a whole report: it stays completed.
    if (result != jrCompleted && TerminationRequested()) result = jrCancelled;
    ResultCode.store(result);
    return result;
}

int TAnalyseThread::RunSteps() {
    Progress.NewJob("Preparing...", 0);
    // The work folder belongs to this run alone and goes with it, whatever the result.
    const std::string workFolder = MakePrivateTempFolder("work");
    if (workFolder.empty()) throw EReportWriteError("no private temporary folder can be made in " + TempFolder());
    const TFolderRemover removeWork{workFolder};

    auto analyser = std::make_unique<TLogAnalyser>(Profile, &Progress);
    // Lines of the search engine list that were left out (it loads with the analyser).
    for (const std::string& problem : SearchFinder().HostProblems)
        Notes.push_back(problem);
    for (int i = 0; i < Profile.GroupCount(); ++i) {
        const TQVGroup* group = Profile.GetGroup(i);
        if (group && group->FieldOfEffect < std::size(kGroupViewKinds))
            analyser->AddGroup(group->DisplayName, group->MembersText(), group->GroupingType,
                               kGroupViewKinds[group->FieldOfEffect]);
    }
    for (const std::string& url : Profile.UrlTrack)
        analyser->AddTrackedURL(url);
    if (TerminationRequested()) return jrCancelled;

    const auto readStart = std::chrono::steady_clock::now();
    const bool counted = analyser->Run();
    const double readSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - readStart).count();
    for (const std::string& warning : Profile.LogReader.Warnings)
        Notes.push_back(warning);
    // The unattended run tells what was read and what was left out.
    if (FromCommandLine && !TerminationRequested())
        Notes.push_back(
            GroupedNumber(analyser->LinesRead) + " lines read, " + GroupedNumber(analyser->LinesUnreadable) +
            " could not be read, " + GroupedNumber(analyser->LinesOutsideRange) + " outside the date range, " +
            GroupedNumber(analyser->PartialsMerged) + " partial downloads merged, " + GroupedNumber(analyser->Hits) +
            " hits, " + GroupedNumber(analyser->Visits) + " visits, " + ElapsedText(readSeconds) + ", " +
            GroupedNumber(readSeconds > 0 ? static_cast<int64_t>(analyser->LinesRead / readSeconds) : 0) + " lines/s");
    if (!counted) return TerminationRequested() ? jrCancelled : jrNoData;
    FirstDay = analyser->StartDate;
    LastDay = analyser->EndDate;

    if (TerminationRequested()) return jrCancelled;
    // Until Commit the new report lives in a hidden folder that its destructor removes: a
    // failed or cancelled run leaves the previous report as it was.
    TReportStaging staging;
    TStatsExport stats(Export);
    // Draws the charts while the pages are made; gone before the work folder is.
    TChartQueue charts(TLogAnalyser::AvailableCpus());
    CompileReport(*analyser, workFolder, staging, stats, charts);
    if (FromCommandLine) {
        // The process ends right after an unattended job: handing millions of small blocks
        // back one by one would only delay the exit. Kept reachable, so leak checks stay quiet.
        static auto* keptUntilExit = new std::vector<std::unique_ptr<TLogAnalyser>>();
        keptUntilExit->push_back(std::move(analyser));
    }

    if (TerminationRequested()) return jrCancelled;
    // Page by page, so that a window handling the transform stays painted and Cancel answers.
    std::vector<TPageFailure> failures;
    for (const std::string& page : ReportPageSources(workFolder)) {
        if (TerminationRequested()) return jrCancelled;
        TPageFailure failure;
        bool made = false;
        Dispatcher.RunAndWait([&] { made = TransformReportPage(workFolder, staging.Path(), page, &failure); });
        if (!made) failures.push_back(std::move(failure));
    }
    if (!failures.empty()) {
        for (const TPageFailure& f : failures)
            Notes.push_back("The page of " + f.XmlFile + " was not made: " + f.Error);
        throw EReportWriteError("the report would miss " + std::to_string(failures.size()) + " of its pages");
    }
    if (TerminationRequested()) return jrCancelled;
    charts.Finish();
    std::vector<std::string> chartErrors;
    ConvertCharts(workFolder + "charts/", staging.Path() + "charts/", ProgramFolder(), &chartErrors);
    if (!chartErrors.empty()) {
        for (const std::string& e : chartErrors)
            Notes.push_back("A chart was not made: " + e);
        throw EReportWriteError("the report would miss " + std::to_string(chartErrors.size()) + " of its charts");
    }
    if (TerminationRequested()) return jrCancelled;
    if (!WriteReportDates(staging.Path(), Today(), FirstDay, LastDay))
        throw EReportWriteError(staging.Path() + "params.ini cannot be written: " + std::strerror(errno ? errno : EIO));
    std::string error;
    if (TerminationRequested()) return jrCancelled;
    if (!staging.Commit(&error)) throw EReportWriteError(error);
    // After the report, so that a failed run never leaves new statistics beside an old report.
    if (!Export.Empty() && !stats.Write(&error)) throw EReportWriteError("the statistics cannot be written: " + error);
    return jrCompleted;
}

void TAnalyseThread::CompileReport(TLogAnalyser& analyser, const std::string& workFolder, TReportStaging& staging,
                                   TStatsExport& stats, TChartQueue& charts) {
    Progress.NewJob("Compiling Statistics...", 0);
    analyser.SortAll();
    const std::string reportName = ExpandReportName(Profile.RptSplitParam, analyser.StartDate);
    const std::string baseFolder = !FixedReportFolder.empty()
                                       ? ExtractFilePath(FixedReportFolder.substr(0, FixedReportFolder.size() - 1))
                                   : !ReportBase.empty() ? ReportBase
                                                         : Profile.ReportFolder();
    ReportPath = FixedReportFolder.empty() ? ReportFolderPath(baseFolder, reportName) : FixedReportFolder;
    CleanReportBase(baseFolder);
    // Only a report of ours is ever replaced: a folder of that name holding anything else stays.
    if (std::filesystem::exists(std::filesystem::symlink_status(ReportPath.substr(0, ReportPath.size() - 1))) &&
        !IsReplaceableReport(ReportPath))
        throw EReportWriteError("the folder " + ReportPath +
                                " exists and is not a report of this program; it was left as it is. Choose "
                                "another report name or destination.");
    std::string error;
    if (!staging.Begin(ReportPath, &error)) throw EReportWriteError(error);
    const std::string templateFolder = ReportTemplateFolder(Profile.TemplateName);
    if (!HasPageStylesheets(templateFolder))
        throw EReportWriteError("the template \"" + Profile.TemplateName + "\" has no main.xsl and toc.xsl");
    if (!PrepareReportFolders(staging.Path(), workFolder, templateFolder, StylesheetLibraryFolder(), &error))
        throw EReportWriteError("the template cannot be copied: " + error);
    analyser.ComputeAverages();
    TCLangReader language;
    if (!language.Load(Profile.ReportLanguage) || language.LineCount() < TStatisticsCompiler::kRequiredLines)
        throw EReportWriteError("the report language \"" + Profile.ReportLanguage + "\" could not be read");
    TStatisticsCompiler compiler(analyser, Profile, language);
    if (!Export.Empty()) compiler.Written = [&](const TXMLOutput& document) { stats.Take(document); };
    compiler.ChartQueue = &charts;
    compiler.Compile(workFolder);
}
