#include "core/LineFeed.h"

#include "profile/u_qvprofile.h"

TLineFeed::TLineFeed(TQVProfile& profile, const TLogEntryOptions& options, TPathIndex& paths)
    : Profile(profile), Options(options), Paths(paths), Reader([this] { Read(); }) {
}

TLineFeed::~TLineFeed() {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Stopping = true;
    }
    Changed.notify_all();
    Reader.join();
}

void TLineFeed::Read() {
    try {
        for (size_t batchNumber = 0;; ++batchNumber) {
            {
                std::unique_lock<std::mutex> lock(Mutex);
                Changed.wait(lock, [&] { return Stopping || batchNumber - Consumed < kBatchCount; });
                if (Stopping) return;
            }
            TBatch& batch = Batches[batchNumber % kBatchCount];
            batch.Count = 0;
            batch.Last = false;
            // A batch also ends after many lines read, usable or not, so that progress and a
            // cancel still get through a file of nothing but junk, and after so much text that
            // batches of very long lines cannot hold more than a few megabytes.
            size_t bytes = 0, budget = 8 * kBatchLines;
            while (batch.Count < kBatchLines && bytes < kBatchBytes) {
                if (!Profile.NextLogEntry(&budget)) {
                    batch.Last = budget > 0;
                    break;
                }
                bytes += Profile.LogReader.CurrentLine.size();
                Options.CurrentDate = Profile.CurrentDate;
                TLogEntry& line = batch.Lines[batch.Count];
                line.ReleaseLargeText();
                line.AssignFrom(Profile.LineParser, Options);
                if (!line.Valid) {
                    ++Unusable;
                    continue;
                }
                std::string_view kept;
                line.PathId = Paths.IdOf(line.Path(), kept);
                line.KeptPath = kept.data();
                ++batch.Count;
            }
            batch.ProgressKB = Profile.LogReader.ProgressKB();
            {
                std::lock_guard<std::mutex> lock(Mutex);
                ++Filled;
            }
            Changed.notify_all();
            if (batch.Last) return;
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(Mutex);
        Failure = std::current_exception();
        Stopping = true;
        Changed.notify_all();
    }
}

TLogEntry* TLineFeed::Next(bool wait) {
    for (;;) {
        if (Current && Position < Current->Count) return &Current->Lines[Position++];
        if (Ended) return nullptr;
        std::unique_lock<std::mutex> lock(Mutex);
        if (Current) {
            // Hand the batch back to the reader.
            Ended = Current->Last;
            Current = nullptr;
            ++Consumed;
            Changed.notify_all();
            if (Ended) return nullptr;
        }
        if (!wait && Filled == Consumed && !Stopping) return nullptr;
        Changed.wait(lock, [&] { return Filled > Consumed || Stopping; });
        if (Filled == Consumed) {
            // The reader stopped early: pass on why.
            Ended = true;
            if (Failure) std::rethrow_exception(Failure);
            return nullptr;
        }
        Current = &Batches[Consumed % kBatchCount];
        Position = 0;
        DeliveredKB = Current->ProgressKB;
        // A batch of nothing but unusable lines hands control back, so that the caller can
        // show progress and honour a cancel through any length of junk.
        if (Current->Count == 0 && !Current->Last) return nullptr;
    }
}
