#include "core/ConsoleProgress.h"

#include <unistd.h>

#include <algorithm>

TConsoleProgress::TConsoleProgress(std::FILE* out, bool force)
    : Out(out), Enabled(force || (out && isatty(fileno(out)))), JobStart(std::chrono::steady_clock::now()) {
}

TConsoleProgress::~TConsoleProgress() {
    Finish();
}

void TConsoleProgress::NewJob(std::string_view caption, int64_t size) {
    TProgress::NewJob(caption, size);
    std::lock_guard<std::mutex> lock(Mutex);
    JobStart = std::chrono::steady_clock::now();
    Pending = 0;
}

void TConsoleProgress::Step(int64_t n) {
    std::lock_guard<std::mutex> lock(Mutex);
    Pending += n;
}

std::string TConsoleProgress::Line(const TProgressSnapshot& state) const {
    const int64_t size = state.JobSize, position = state.Position;
    std::string line;
    if (!state.ProfileCaption.empty()) line += state.ProfileCaption + ": ";
    line += state.JobCaption;
    char buf[128];
    if (size > 0) {
        const double share = std::min(1.0, static_cast<double>(position) / static_cast<double>(size));
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(share * kWidth);
        line += " [" + std::string(static_cast<size_t>(filled), '#') + std::string(kWidth - filled, ' ') + "]";
        std::snprintf(buf, sizeof buf, " %3d%%", static_cast<int>(share * 100));
        line += buf;
        // Positions of the analysis are kilobytes of log.
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - JobStart).count();
        if (seconds > 0.2) {
            std::snprintf(buf, sizeof buf, "  %.1f MB/s", static_cast<double>(position) / 1024.0 / seconds);
            line += buf;
        }
    } else {
        // A job of unknown size may never step (the compile phase): the spinner turns with time.
        static const char kSpinner[] = "|/-\\";
        const auto ticks =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - JobStart).count() /
            125;
        line += " ";
        line += kSpinner[static_cast<size_t>(ticks + Pending) % 4];
    }
    return line;
}

void TConsoleProgress::Refresh() {
    if (!Enabled) return;
    const TProgressSnapshot state = Snapshot();
    std::lock_guard<std::mutex> lock(Mutex);
    if (state.JobCaption.empty()) return;
    std::string line = Line(state);
    if (line.size() > 100) line.resize(100);
    // Carriage return and clear-to-end redraw the line in place.
    std::fprintf(Out, "\r%s\033[K", line.c_str());
    std::fflush(Out);
    Drawn = true;
}

void TConsoleProgress::Finish() {
    std::lock_guard<std::mutex> lock(Mutex);
    if (Enabled && Drawn) {
        std::fputc('\n', Out);
        std::fflush(Out);
    }
    Drawn = false;
}
