#pragma once
// The channel between a long job and whoever watches it: jobs announce their phases and
// positions, the watcher reads one consistent snapshot and may ask for a cancel. The
// progress window of the program and the console bar of the unattended run build on it.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

// Everything a watcher shows, taken at one moment.
struct TProgressSnapshot {
    std::string ProfileCaption;
    std::string JobCaption;
    int JobCount = 0;
    int JobIndex = -1; // -1 before the first job
    int Animation = 0;
    bool ShowCancel = false;
    int64_t JobSize = 0; // 0: size unknown
    int64_t Position = 0;
    bool CancelRequested = false;
};

class TProgress {
public:
    virtual ~TProgress() = default;

    // The profile being processed; an empty name hides it.
    virtual void SetProfileCaption(std::string_view name);
    // Starts a run of count jobs.
    virtual void SetJobs(int count, int animation, bool showCancel);
    // Starts the next job; a size of 0 means "size unknown" (an animation instead of a bar).
    virtual void NewJob(std::string_view caption, int64_t size);
    // Sets the job's position; a negative position means Step(1). Called once per log line:
    // it only stores a number.
    virtual void SetPosition(int64_t position);
    // Advances by n, shown at most twice a second.
    virtual void Step(int64_t n) { (void)n; }

    // The one cancel of a run: the watcher's button, Ctrl+C and the job's owner all set it,
    // and every step of the job reads it. True once asked for; never cleared.
    bool CancelRequested() const { return Cancelled.load(std::memory_order_relaxed); }
    void RequestCancel() { Cancelled.store(true, std::memory_order_relaxed); }

    int JobCount() const { return Jobs.load(std::memory_order_relaxed); }
    int JobIndex() const { return Index.load(std::memory_order_relaxed); }
    int64_t JobSize() const { return Size.load(std::memory_order_relaxed); }
    int64_t Position() const { return Pos.load(std::memory_order_relaxed); }

    // The whole state at once, from any thread: a new job's caption never shows with the
    // previous job's size or position.
    TProgressSnapshot Snapshot() const;

protected:
    // Written by the job's thread, read by the watcher's. Position is a plain store, kept out
    // of the lock, so that the per-line call stays cheap.
    std::atomic<bool> Cancelled{false};
    std::atomic<int64_t> Pos{0};
    std::atomic<int> Jobs{0};
    std::atomic<int> Index{-1};
    std::atomic<int64_t> Size{0};

private:
    mutable std::mutex StateMutex; // guards the texts and the change from one job to the next
    std::string ProfileText;
    std::string JobText;
    int AnimationNo = 0;
    bool CancelShown = false;
};
