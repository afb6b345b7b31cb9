#pragma once
// Reads and parses the profile's log lines on a thread of its own and hands them to the
// analyser in log order, a batch at a time, so that reading, decompressing and parsing run
// beside the counting. While a feed runs, it alone touches the profile's log reader, line
// parser and current date.

#include "core/LogEntry.h"
#include "core/PathIndex.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

class TQVProfile;

class TLineFeed {
public:
    // Starts reading the profile's opened log files at once; paths are numbered in paths,
    // which only the feed's thread touches until the feed is gone.
    TLineFeed(TQVProfile& profile, const TLogEntryOptions& options, TPathIndex& paths);
    // Stops the reading thread and waits for it.
    ~TLineFeed();
    TLineFeed(const TLineFeed&) = delete;
    TLineFeed& operator=(const TLineFeed&) = delete;

    // The next valid line, with its referrer, agent and path number; nullptr after the last
    // one, after a stretch of unusable lines, or without wait when no line has been read yet
    // (Finished tells which). The entry stays the feed's and is good until the next call.
    TLogEntry* Next(bool wait = true);
    bool Finished() const { return Ended; }
    // How far the reader had come when the lines handed out so far were read.
    int64_t ProgressKB() const { return DeliveredKB; }
    // Lines the reader read but could not make an entry of; complete once Finished.
    int64_t UnusableLines() const { return Unusable; }

private:
    static constexpr size_t kBatchLines = 1024;
    static constexpr size_t kBatchCount = 4;
    static constexpr size_t kBatchBytes = 4 << 20;
    struct TBatch {
        std::vector<TLogEntry> Lines = std::vector<TLogEntry>(kBatchLines);
        size_t Count = 0;
        int64_t ProgressKB = 0;
        bool Last = false; // no batch follows
    };

    void Read();

    TQVProfile& Profile;
    TLogEntryOptions Options;
    TPathIndex& Paths;
    TBatch Batches[kBatchCount];

    std::mutex Mutex;
    std::condition_variable Changed;
    size_t Filled = 0;   // batches read so far (guarded)
    size_t Consumed = 0; // batches handed back so far (guarded)
    bool Stopping = false;
    std::exception_ptr Failure; // what ended the reading thread early
    int64_t Unusable = 0;       // the reading thread's; read once it has ended

    // The consumer's side.
    TBatch* Current = nullptr;
    size_t Position = 0;
    int64_t DeliveredKB = 0;
    bool Ended = false;

    std::thread Reader;
};
