// The report job in process, driven in steps as the window drives it: refusals before
// anything is written, the transform handed to the polling thread, a cancel in each phase,
// and the messages of a blank or failed report.

#include "core/ReportRunner.h"

#include "core/Progress.h"
#include "core/u_analysethread.h"
#include "profile/ProfileLock.h"
#include "profile/u_qvprofile.h"
#include "report/ReportStaging.h"
#include "sources/SpecialFolders.h"
#include "support/Sandbox.h"
#include "support/TestLogs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Hands the job's work to whichever thread calls RunPending, as a window's event loop would.
class TQueueDispatcher : public TUserInterfaceDispatcher {
public:
    std::function<void()> Before; // runs on the polling thread before each piece of work
    std::thread::id RanOn;
    int Calls = 0;

    void RunAndWait(const std::function<void()>& work) override {
        std::unique_lock<std::mutex> lock(Mutex);
        Queue.push_back(&work);
        Done.wait(lock, [&] { return std::find(Queue.begin(), Queue.end(), &work) == Queue.end(); });
    }
    void RunPending() {
        std::unique_lock<std::mutex> lock(Mutex);
        while (!Queue.empty()) {
            const std::function<void()>* work = Queue.front();
            lock.unlock();
            ++Calls;
            RanOn = std::this_thread::get_id();
            if (Before) Before();
            (*work)();
            lock.lock();
            Queue.pop_front();
            Done.notify_all();
        }
    }

private:
    std::mutex Mutex;
    std::condition_variable Done;
    std::deque<const std::function<void()>*> Queue;
};

// Asks for a cancel when a job of the given caption starts, or at the first line analysed.
class TCancellingProgress : public TProgress {
public:
    std::string CancelAtJob;
    std::function<void()> OnLine; // runs at every analysed line after the first

    void NewJob(std::string_view caption, int64_t size) override {
        TProgress::NewJob(caption, size);
        if (caption == CancelAtJob) RequestCancel();
    }
    void SetPosition(int64_t position) override {
        TProgress::SetPosition(position);
        if (OnLine && position > 0) OnLine();
    }
};

class ReportRunnerTest : public ::testing::Test {
protected:
    // A profile reading its own log, with changes made by edit saved with it.
    void MakeProfile(const std::string& name, const std::string& log,
                     const std::function<void(TQVProfile&)>& edit = nullptr) {
        Sandbox.Folder.WriteFile("logs-" + name + "/access.log", log);
        TQVProfile profile;
        profile.InitNew();
        profile.SetName(name);
        profile.LogPaths = {Sandbox.Folder.Path() + "logs-" + name + "/"};
        profile.AutoOpenReport = true;
        if (edit) edit(profile);
        ASSERT_TRUE(profile.Save());
    }

    // Runs the job in steps, serving the dispatcher from this thread while polling.
    TRunReportResult Run(const std::string& name, TProgress& progress,
                         const std::function<void(TReportJob&)>& prepared = nullptr) {
        Messages.clear();
        TReportJob job(progress, Dispatcher, [&](const std::string& text) { Messages += text + "\n"; });
        if (!job.Prepare(name, false)) return job.Result();
        if (prepared) prepared(job);
        job.Start();
        while (!job.Finished()) {
            Dispatcher.RunPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return job.Finish();
    }

    static TDateTime LastReport(const std::string& name) {
        TQVProfile profile;
        return profile.Load(name) ? profile.LastReportDate : -1;
    }

    // Every file under folder with its size and time of change.
    static std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> Files(const std::string& folder) {
        std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file()) files[it->path().string()] = {it->file_size(), it->last_write_time()};
        return files;
    }
    // What runs may leave behind: private temporary folders and hidden report folders.
    static std::vector<std::string> Leftovers(const std::string& reportBase) {
        std::vector<std::string> found;
        std::error_code ec;
        for (const std::string& folder : {TempFolder(), reportBase})
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
                if (it->path().filename().string().starts_with(".") || folder == TempFolder())
                    found.push_back(it->path().string());
        return found;
    }

    TSandbox Sandbox;
    TQueueDispatcher Dispatcher;
    std::string Messages;
};

TEST_F(ReportRunnerTest, RefusalsWriteNothingAndSayWhy) {
    struct TCase {
        const char* Name;
        std::function<void(TQVProfile&)> Edit;
        int Status;
        const char* Message;
    };
    const TCase cases[] = {
        {"unknown", nullptr, rsInvalidProfile, "Invalid profile name."},
        {"notemplate", [](TQVProfile& p) { p.TemplateName = "No Such Template"; }, rsMissingTemplate,
         "template selected for this profile doesn't exist"},
        {"nolanguage", [](TQVProfile& p) { p.ReportLanguage = "  "; }, rsNoLanguage, "no report language selected"},
        {"badlanguage", [](TQVProfile& p) { p.ReportLanguage = "no-such-language"; }, rsNoLanguage,
         "\"no-such-language\" cannot be read"},
        {"busy", nullptr, rsBusy, "being made by another run"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.Status != rsInvalidProfile) {
            MakeProfile(c.Name, MakeCombinedLog(50), c.Edit);
        }
        TProfileLock held;
        if (c.Status == rsBusy) {
            ASSERT_TRUE(held.TryLock(c.Name, nullptr, nullptr));
        }
        TProgress progress;
        const TRunReportResult result = Run(c.Name, progress);
        EXPECT_EQ(result.Status, c.Status);
        EXPECT_NE(Messages.find(c.Message), std::string::npos) << Messages;
        EXPECT_FALSE(fs::exists(DataFolder() + "reports/" + c.Name));
        if (c.Status != rsInvalidProfile) {
            EXPECT_EQ(LastReport(c.Name), 0);
        }
        EXPECT_EQ(Dispatcher.Calls, 0);
    }
}

TEST_F(ReportRunnerTest, TheTransformRunsOnThePollingThreadAndTheReportIsNotOpenedByTheJob) {
    MakeProfile("site", MakeCombinedLog(400));
    TProgress progress;
    const TRunReportResult result = Run("site", progress);
    ASSERT_EQ(result.Status, rsCompleted) << Messages;
    EXPECT_EQ(Dispatcher.RanOn, std::this_thread::get_id());
    EXPECT_TRUE(fs::is_regular_file(result.StartPage)) << result.StartPage;
    // One hand-over per page, so that a window stays painted between them.
    EXPECT_GT(Dispatcher.Calls, 5);
    EXPECT_TRUE(fs::is_regular_file(result.ReportFolder + "params.ini"));
    // The caller opens it: the job asks for it, outside the unattended run only.
    EXPECT_TRUE(result.OpenWanted);
    EXPECT_GT(LastReport("site"), 0);
    EXPECT_EQ(Leftovers(DataFolder() + "reports/site/"), std::vector<std::string>{});

    const TProgressSnapshot state = progress.Snapshot();
    EXPECT_EQ(state.ProfileCaption, "site");
    EXPECT_EQ(state.JobCount, 3);
    EXPECT_EQ(state.JobCaption, "Compiling Statistics...");
    EXPECT_FALSE(state.CancelRequested);
}

TEST_F(ReportRunnerTest, ACancelInAnyPhaseEndsCancelledAndKeepsThePreviousReport) {
    MakeProfile("site", MakeCombinedLog(20000));
    TProgress first;
    const TRunReportResult previous = Run("site", first);
    ASSERT_EQ(previous.Status, rsCompleted) << Messages;
    const auto before = Files(previous.ReportFolder);
    ASSERT_GT(before.size(), 10u);

    enum TPhase { phAnalysis, phCompile, phTransform };
    for (const TPhase phase : {phAnalysis, phCompile, phTransform}) {
        SCOPED_TRACE(phase);
        TCancellingProgress progress;
        Dispatcher.Calls = 0;
        Dispatcher.Before = nullptr;
        // The analysis is stopped through the job, the later phases through the progress.
        const auto cancelMidAnalysis = [&](TReportJob& job) { progress.OnLine = [&job] { job.Cancel(); }; };
        if (phase == phCompile) progress.CancelAtJob = "Compiling Statistics...";
        if (phase == phTransform) Dispatcher.Before = [&] { progress.RequestCancel(); };
        const TRunReportResult result =
            Run("site", progress, phase == phAnalysis ? std::function<void(TReportJob&)>(cancelMidAnalysis) : nullptr);
        EXPECT_EQ(result.Status, rsCancelled) << Messages;
        EXPECT_NE(Messages.find("The report was cancelled."), std::string::npos) << Messages;
        EXPECT_EQ(Dispatcher.Calls, phase == phTransform ? 1 : 0);
        EXPECT_TRUE(Files(previous.ReportFolder) == before);
        EXPECT_EQ(Leftovers(DataFolder() + "reports/site/"), std::vector<std::string>{});
    }
}

TEST_F(ReportRunnerTest, ABlankOrFailedReportSaysWhyAndIsStillStamped) {
    MakeProfile("blank", "this is not a log line\n");
    TProgress progress;
    EXPECT_EQ(Run("blank", progress).Status, rsNoData);
    EXPECT_NE(Messages.find("The resulting report is blank."), std::string::npos) << Messages;
    EXPECT_GT(LastReport("blank"), 0);

    // A report destination below a plain file cannot be made: the run fails and names it.
    const std::string file = Sandbox.Folder.WriteFile("plain-file", "x");
    MakeProfile("blocked", MakeCombinedLog(50), [&](TQVProfile& p) {
        p.AltReportDest = true;
        p.ReportDest = file + "/reports/";
    });
    TProgress again;
    const TRunReportResult result = Run("blocked", again);
    EXPECT_EQ(result.Status, rsFailed);
    EXPECT_NE(Messages.find(file), std::string::npos) << Messages;
    EXPECT_TRUE(result.ReportFolder.empty());
    EXPECT_GT(LastReport("blocked"), 0);
    EXPECT_EQ(Leftovers(file + "/reports/"), std::vector<std::string>{});
}

} // namespace
