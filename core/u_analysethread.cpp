#include "core/u_analysethread.h"

#include "core/Progress.h"
#include "core/u_loganalyser.h"
#include "profile/u_qvprofile.h"
#include "report/CLangReader.h"
#include "report/ChartConvert.h"
#include "report/ReportFolder.h"
#include "report/StatisticsCompiler.h"
#include "sources/FileUtils.h"
#include "sources/ReportName.h"
#include "sources/SpecialFolders.h"

#include <exception>
#include <memory>
#include <vector>

namespace {

// The statistics view each field of effect groups; other fields are not registered.
constexpr int kGroupViewKinds[] = {5, 10, 7, 8, 15, 12};

} // namespace

TAnalyseThread::TAnalyseThread(TQVProfile& profile, TProgress& progress, TUserInterfaceDispatcher& dispatcher)
    : Profile(profile), Progress(progress), Dispatcher(dispatcher) {
}

TAnalyseThread::~TAnalyseThread() {
    if (Worker.joinable()) Worker.join();
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
    if (TerminationRequested()) result = jrCancelled;
    ResultCode.store(result);
    return result;
}

int TAnalyseThread::RunSteps() {
    Progress.NewJob("Preparing...", 0);
    auto analyser = std::make_unique<TLogAnalyser>(Profile, &Progress);
    for (int i = 0; i < Profile.GroupCount(); ++i) {
        const TQVGroup* group = Profile.GetGroup(i);
        if (group && group->FieldOfEffect < std::size(kGroupViewKinds))
            analyser->AddGroup(group->DisplayName, group->MembersText, group->GroupingType,
                               kGroupViewKinds[group->FieldOfEffect]);
    }
    for (const std::string& url : Profile.UrlTrack)
        analyser->AddTrackedURL(url);
    if (TerminationRequested()) return jrCancelled;

    const bool counted = analyser->Run();
    for (const std::string& warning : Profile.LogReader.Warnings)
        Notes.push_back(warning);
    if (!counted) return TerminationRequested() ? jrCancelled : jrNoData;
    FirstDay = analyser->StartDate;
    LastDay = analyser->EndDate;

    if (TerminationRequested()) return jrCancelled;
    CompileReport(*analyser);
    if (FromCommandLine) {
        // The process ends right after an unattended job: handing millions of small blocks
        // back one by one would only delay the exit. Kept reachable, so leak checks stay quiet.
        static auto* keptUntilExit = new std::vector<std::unique_ptr<TLogAnalyser>>();
        keptUntilExit->push_back(std::move(analyser));
    }

    if (TerminationRequested()) return jrCancelled;
    std::vector<TPageFailure> failures;
    Dispatcher.RunAndWait([&] { failures = TransformReport(ReportWorkFolder(), ReportPath); });
    for (const TPageFailure& f : failures)
        Notes.push_back("The page of " + f.XmlFile + " was not made: " + f.Error);
    if (TerminationRequested()) return jrCancelled;
    if (!FinishReport(ReportPath, Profile.AutoOpenReport && !FromCommandLine, FirstDay, LastDay))
        Notes.push_back("The dates of the report could not be written to " + ReportPath + "params.ini.");
    return jrCompleted;
}

void TAnalyseThread::CompileReport(TLogAnalyser& analyser) {
    Progress.NewJob("Compiling Statistics...", 0);
    analyser.SortAll();
    const std::string reportName = ExpandReportName(Profile.RptSplitParam, analyser.StartDate);
    ReportPath = ReportFolderPath(Profile.ReportFolder(), reportName);
    const std::string work = ReportWorkFolder();
    PrepareReportFolders(ReportPath, work, ReportTemplateFolder(Profile.TemplateName), StylesheetLibraryFolder());
    analyser.ComputeAverages();
    TCLangReader language;
    if (!language.Load(Profile.ReportLanguage))
        Notes.push_back("The report language \"" + Profile.ReportLanguage + "\" could not be read.");
    TStatisticsCompiler compiler(analyser, Profile, language);
    compiler.Compile(work);
    ConvertCharts(work + "charts/", ReportPath + "charts/");
}
