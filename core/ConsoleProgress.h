#pragma once
// The progress bar of the unattended run: job caption, bar, percentage and throughput on
// standard error, redrawn in place, only when standard error is a terminal.

#include "core/Progress.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

class TConsoleProgress : public TProgress {
public:
    // Draws on out when it is a terminal (or when forced, for tests); otherwise stays silent.
    explicit TConsoleProgress(std::FILE* out = stderr, bool force = false);
    ~TConsoleProgress() override;

    void NewJob(std::string_view caption, int64_t size) override;
    void Step(int64_t n) override;

    // Redraws the line from the current state; the waiting thread calls it a few times a second.
    void Refresh();
    // Ends the line, so that later messages start on a line of their own.
    void Finish();

private:
    std::string Line(const TProgressSnapshot& state) const;

    std::FILE* Out;
    bool Enabled;
    mutable std::mutex Mutex; // guards the throughput state and the drawn line
    int64_t Pending = 0;
    std::chrono::steady_clock::time_point JobStart;
    bool Drawn = false;
};
