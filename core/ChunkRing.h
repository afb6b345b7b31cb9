#pragma once
// The logs read once for every analysis worker: chunks taken whole from one reader, a few
// at a time in a ring of slots. A worker handed a chunk first reads the one after it when no
// one reads it yet and its slot is free, else the worker that needs the next chunk first reads
// it; the reader marks its lines (which worker takes each), one worker at a time and in log
// order. Every worker then goes through every chunk and takes its own lines. A slot is read
// into again once every worker has released its chunk.

#include "sources/LogReader.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class TChunkRing {
public:
    // A line's mark: the host bucket it belongs to and its host's hash, or kEveryWorker for a
    // directive, which every worker's parser must see.
    struct TMark {
        int32_t HostKey = 0;
        uint8_t Bucket = 0;
    };
    static constexpr uint8_t kEveryWorker = UINT8_MAX;
    struct TMarkedChunk {
        TLogFileReader::TChunk Chunk;
        std::vector<TMark> Marks; // one for each of Chunk.Lines
    };
    // Marks the lines of a chunk just read; called for one chunk at a time, in log order.
    using TMarker = std::function<void(const TLogFileReader::TChunk&, std::vector<TMark>&)>;

    // For workers 0 .. workers - 1, reading from reader (positioned at a chunk's end, as after
    // Rewind), which no one else touches until the ring is gone.
    TChunkRing(TLogFileReader& reader, int workers, TMarker marker);
    TChunkRing(const TChunkRing&) = delete;
    TChunkRing& operator=(const TChunkRing&) = delete;

    // Chunk number k (from 0; each worker asks for every chunk in turn), read and marked here
    // when no other worker has done so, and the next one read ahead when it can be; nullptr
    // after the last chunk and once stopped. What reading or marking throws (the chunk read
    // ahead's too) reaches the caller, and the ring stops.
    const TMarkedChunk* Await(uint64_t k);
    // The worker is done with chunk k.
    void Release(uint64_t k);
    // Ends the ring early (a cancel, a worker's failure): Await returns nullptr from now on.
    void Stop();

private:
    enum class TState : uint8_t { Free, Filling, Ready };
    struct TSlot {
        TMarkedChunk Marked;
        TState State = TState::Free;
        uint64_t Number = 0;
        int Pending = 0; // workers that have not released it yet
    };

    // Reads and marks chunk k into the free slot, the lock let go meanwhile.
    void Fill(std::unique_lock<std::mutex>& lock, TSlot& slot, uint64_t k);

    TLogFileReader& Reader;
    const int Workers;
    const TMarker Marker;
    std::vector<TSlot> Slots;

    std::mutex Mutex;
    std::condition_variable Changed;
    uint64_t NextChunk = 0;          // the number the next chunk read gets
    uint64_t ChunkTotal = UINT64_MAX; // chunks there are, once the reader is exhausted
    bool Stopping = false;
};
