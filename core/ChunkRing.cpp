#include "core/ChunkRing.h"

#include <algorithm>
#include <utility>

TChunkRing::TChunkRing(TLogFileReader& reader, int workers, TMarker marker)
    : Reader(reader), Workers(workers), Marker(std::move(marker)),
      // A worker may run a chunk ahead of the slowest while another chunk is read; with many
      // workers, a few chunks of slack are enough, and each slot holds a chunk's memory.
      Slots(static_cast<size_t>(std::min(workers, 14)) + 2) {}

void TChunkRing::Stop() {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Stopping = true;
    }
    Changed.notify_all();
}

void TChunkRing::Fill(std::unique_lock<std::mutex>& lock, TSlot& slot, uint64_t k) {
    slot.State = TState::Filling;
    lock.unlock();
    bool read = false;
    try {
        read = Reader.TakeChunk(slot.Marked.Chunk);
        if (read) Marker(slot.Marked.Chunk, slot.Marked.Marks);
    } catch (...) {
        lock.lock();
        slot.State = TState::Free;
        Stopping = true;
        lock.unlock();
        Changed.notify_all();
        throw;
    }
    lock.lock();
    if (read) {
        slot.Number = k;
        slot.Pending = Workers;
        slot.State = TState::Ready;
        ++NextChunk;
    } else {
        slot.State = TState::Free;
        ChunkTotal = k;
    }
    Changed.notify_all();
}

const TChunkRing::TMarkedChunk* TChunkRing::Await(uint64_t k) {
    std::unique_lock<std::mutex> lock(Mutex);
    for (;;) {
        if (Stopping || k >= ChunkTotal) return nullptr;
        TSlot& slot = Slots[k % Slots.size()];
        if (slot.State == TState::Ready && slot.Number == k) {
            // The chunk after it is read first when no one reads it yet and its slot is free:
            // a worker at the front reads while the others count, so that a worker rarely
            // waits for a chunk another is reading.
            TSlot& next = Slots[(k + 1) % Slots.size()];
            if (Workers > 1 && NextChunk == k + 1 && next.State == TState::Free) Fill(lock, next, k + 1);
            return &slot.Marked;
        }
        // The chunk is not read yet: this worker reads it unless another is reading, or the
        // slot still holds a chunk some worker has not released.
        if (k == NextChunk && slot.State == TState::Free) {
            Fill(lock, slot, k);
            continue;
        }
        Changed.wait(lock);
    }
}

void TChunkRing::Release(uint64_t k) {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        TSlot& slot = Slots[k % Slots.size()];
        if (--slot.Pending > 0) return;
        slot.State = TState::Free;
    }
    Changed.notify_all();
}
