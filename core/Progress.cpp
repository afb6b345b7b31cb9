#include "core/Progress.h"

void TProgress::SetJobs(int count, int animation, bool showCancel) {
    (void)animation;
    (void)showCancel;
    Jobs.store(count);
    Index.store(-1);
    Size.store(0);
    Pos.store(0, std::memory_order_relaxed);
}

void TProgress::NewJob(std::string_view caption, int64_t size) {
    (void)caption;
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
