#pragma once
// The report job: turns the profile in CurrentProfile into a finished report on a worker
// thread — analysis, statistics compile, chart conversion, the HTML transform (handed to
// the user-interface thread) and the report's dates — and ends with a result code.

#include "report/StatsExport.h"
#include "sources/DateTime.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class TChartQueue;
class TLogAnalyser;
class TProgress;
class TQVProfile;
class TReportStaging;

// Result codes of a job.
enum TJobResult : int {
    jrRunning = 0,
    jrCancelled = 1,
    jrNoData = 2,
    jrCompleted = 3,
    jrFailed = 4, // an unexpected error ended the job; the message says which
};

// Runs work on the user-interface thread and waits for it. The unattended run runs it at once.
class TUserInterfaceDispatcher {
public:
    virtual ~TUserInterfaceDispatcher() = default;
    virtual void RunAndWait(const std::function<void()>& work) { work(); }
};

class TAnalyseThread {
public:
    TAnalyseThread(TQVProfile& profile, TProgress& progress, TUserInterfaceDispatcher& dispatcher);
    ~TAnalyseThread(); // waits for the job
    TAnalyseThread(const TAnalyseThread&) = delete;
    TAnalyseThread& operator=(const TAnalyseThread&) = delete;

    bool FromCommandLine = false; // the process ends right after the job
    // Folder of the report, set before the transform. The report is built beside it and takes
    // its place only when it is whole: until the job has completed it holds the previous report.
    std::string ReportPath;
    // A one-off report's place instead of the profile's: FixedReportFolder (ending in "/") when
    // set, else a folder named after the report in ReportBase (ending in "/") when set.
    std::string ReportBase, FixedReportFolder;
    // Statistics files written once the report is whole; their failure fails the job.
    TStatsExportTargets Export;

    // Starts the job on its worker thread.
    void Start();
    // Asks the job to end through the progress's cancel, the one flag every step reads; the
    // job stops at its next check (the analysis within a few lines).
    void Terminate();
    bool TerminationRequested() const;
    // The job has ended (its result is not jrRunning any more).
    bool Finished() const { return ResultCode.load() != jrRunning; }
    // Waits for the end and returns the result.
    int WaitFor();
    int Result() const { return ResultCode.load(); }
    // What the user should read after the job: warnings and the reason of a failure.
    const std::vector<std::string>& Messages() const { return Notes; }
    TDateTime StartDate() const { return FirstDay; }
    TDateTime EndDate() const { return LastDay; }

    // The job itself, on the calling thread; Start runs it on the worker thread.
    int Execute();

private:
    int RunSteps();
    // Compiles the report into the work folder and the new report's hidden folder; stats takes
    // the statistics to export, charts draws the chart pictures into the work folder.
    void CompileReport(TLogAnalyser& analyser, const std::string& workFolder, TReportStaging& staging,
                       TStatsExport& stats, TChartQueue& charts);

    TQVProfile& Profile;
    TProgress& Progress;
    TUserInterfaceDispatcher& Dispatcher;
    std::atomic<int> ResultCode{jrRunning};
    std::vector<std::string> Notes; // written by the job, read after its end
    TDateTime FirstDay = 0, LastDay = 0;
    std::thread Worker;
};
