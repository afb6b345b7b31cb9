#include "sources/GrowingFile.h"

#include <exception>

void TGrowingFile::WaitFor(int64_t bytes) const {
    std::unique_lock lock(Lock);
    Changed.wait(lock, [&] { return Done || Size >= bytes; });
}

std::vector<std::string> TGrowingFile::Warnings() const {
    const std::lock_guard lock(Lock);
    return Done ? Said : std::vector<std::string>();
}

bool TGrowingFile::Ended() const {
    const std::lock_guard lock(Lock);
    return Done;
}

void TGrowingFile::Grow(int64_t size) {
    {
        const std::lock_guard lock(Lock);
        Size = size;
    }
    Changed.notify_all();
}

void TGrowingFile::End(std::vector<std::string> warnings) {
    {
        const std::lock_guard lock(Lock);
        if (Done) return;
        Said = std::move(warnings);
        Done = true;
    }
    Changed.notify_all();
}

TFileWriterQueue::~TFileWriterQueue() {
    {
        const std::lock_guard lock(Lock);
        Closing = true;
    }
    Stop = true;
    Queued.notify_all();
    if (Thread.joinable()) Thread.join();
    // Jobs never started: their readers see files that end where they are.
    for (TQueued& queued : Jobs)
        queued.File->End({});
}

std::shared_ptr<const TGrowingFile> TFileWriterQueue::Add(TJob job, std::string name) {
    auto file = std::make_shared<TGrowingFile>();
    {
        const std::lock_guard lock(Lock);
        Jobs.push_back({std::move(job), std::move(name), file});
    }
    if (!Thread.joinable()) Thread = std::thread([this] { Run(); });
    Queued.notify_one();
    return file;
}

void TFileWriterQueue::Run() {
    for (;;) {
        TQueued queued;
        {
            std::unique_lock lock(Lock);
            Queued.wait(lock, [&] { return Closing || !Jobs.empty(); });
            if (Closing) return;
            queued = std::move(Jobs.front());
            Jobs.pop_front();
        }
        // Whatever happens, the file ends: a reader waiting on it must never wait for ever.
        std::vector<std::string> warnings;
        try {
            warnings = queued.Job([&](int64_t size) { queued.File->Grow(size); }, Stop);
        } catch (const std::exception& e) {
            warnings.push_back(queued.Name + ": expansion failed (" + e.what() + ")");
        }
        queued.File->End(std::move(warnings));
    }
}
