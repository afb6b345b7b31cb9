#include "core/Progress.h"

void TProgress::SetProfileCaption(std::string_view name) {
    std::lock_guard<std::mutex> lock(StateMutex);
    ProfileText.assign(name);
}

void TProgress::SetJobs(int count, int animation, bool showCancel) {
    std::lock_guard<std::mutex> lock(StateMutex);
    AnimationNo = animation;
    CancelShown = showCancel;
    JobText.clear();
    Jobs.store(count);
    Index.store(-1);
    Size.store(0);
    Pos.store(0, std::memory_order_relaxed);
}

void TProgress::NewJob(std::string_view caption, int64_t size) {
    std::lock_guard<std::mutex> lock(StateMutex);
    JobText.assign(caption);
    Size.store(size < 0 ? 0 : size);
    Pos.store(0, std::memory_order_relaxed);
    Index.fetch_add(1);
}

void TProgress::SetPosition(int64_t position) {
    if (position < 0) {
        Step(1);
        return;
    }
    Pos.store(position, std::memory_order_relaxed);
}

TProgressSnapshot TProgress::Snapshot() const {
    TProgressSnapshot s;
    std::lock_guard<std::mutex> lock(StateMutex);
    s.ProfileCaption = ProfileText;
    s.JobCaption = JobText;
    s.JobCount = Jobs.load(std::memory_order_relaxed);
    s.JobIndex = Index.load(std::memory_order_relaxed);
    s.Animation = AnimationNo;
    s.ShowCancel = CancelShown;
    s.JobSize = Size.load(std::memory_order_relaxed);
    s.Position = Pos.load(std::memory_order_relaxed);
    s.CancelRequested = CancelRequested();
    return s;
}
