#pragma once
// Files written on a thread of their own, one after the other, while readers read the part
// already written: a gzip log is read as it is expanded.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How far a file being written has got, and what its writer had to say at the end.
class TGrowingFile {
public:
    // Waits until the file holds at least bytes bytes, or will grow no more.
    void WaitFor(int64_t bytes) const;
    // What the writer said ("<path>: <what>"); empty while the file still grows.
    std::vector<std::string> Warnings() const;
    bool Ended() const;

    // The writer's side: the bytes written so far, and the end.
    void Grow(int64_t size);
    void End(std::vector<std::string> warnings);

private:
    mutable std::mutex Lock;
    mutable std::condition_variable Changed;
    int64_t Size = 0;
    bool Done = false;
    std::vector<std::string> Said;
};

// Runs writing jobs in the order they were added, on one thread started with the first job.
class TFileWriterQueue {
public:
    // A job writes its file, calls grown with the bytes written after each block, stops early
    // when stop becomes true, and returns its warnings.
    using TJob = std::function<std::vector<std::string>(const std::function<void(int64_t)>& grown,
                                                        const std::atomic<bool>& stop)>;

    TFileWriterQueue() = default;
    // Stops the job under way, ends the file of every job, and waits for the thread.
    ~TFileWriterQueue();
    TFileWriterQueue(const TFileWriterQueue&) = delete;
    TFileWriterQueue& operator=(const TFileWriterQueue&) = delete;

    // name leads the warning of a job that fails with an exception.
    std::shared_ptr<const TGrowingFile> Add(TJob job, std::string name);

private:
    struct TQueued {
        TJob Job;
        std::string Name;
        std::shared_ptr<TGrowingFile> File;
    };
    void Run();

    std::mutex Lock;
    std::condition_variable Queued;
    std::deque<TQueued> Jobs;
    bool Closing = false;
    std::atomic<bool> Stop{false};
    std::thread Thread;
};
