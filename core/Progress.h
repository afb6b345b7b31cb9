#pragma once
// The channel between a long job and whoever watches it: jobs announce their phases and
// positions, the watcher asks for a cancel. The progress window of the program and the
// console bar of the unattended run implement it; the cancel flag crosses threads.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

class TProgress {
public:
    virtual ~TProgress() = default;

    // The profile being processed; an empty name hides it.
    virtual void SetProfileCaption(std::string_view name) { (void)name; }
    // Starts a run of count jobs.
    virtual void SetJobs(int count, int animation, bool showCancel);
    // Starts the next job; a size of 0 means "size unknown" (an animation instead of a bar).
    virtual void NewJob(std::string_view caption, int64_t size);
    // Sets the job's position; a negative position means Step(1). Called once per log line:
    // it only stores a number.
    virtual void SetPosition(int64_t position);
    // Advances by n, shown at most twice a second.
    virtual void Step(int64_t n) { (void)n; }

    // True once a cancel was asked for; never cleared.
    bool CancelRequested() const { return Cancelled.load(std::memory_order_relaxed); }
    void RequestCancel() { Cancelled.store(true, std::memory_order_relaxed); }

    int JobCount() const { return Jobs.load(std::memory_order_relaxed); }
    int JobIndex() const { return Index.load(std::memory_order_relaxed); }
    int64_t JobSize() const { return Size.load(std::memory_order_relaxed); }
    int64_t Position() const { return Pos.load(std::memory_order_relaxed); }

protected:
    // Written by the job's thread, read by the watcher's.
    std::atomic<bool> Cancelled{false};
    std::atomic<int64_t> Pos{0};
    std::atomic<int> Jobs{0};
    std::atomic<int> Index{-1};
    std::atomic<int64_t> Size{0};
};
