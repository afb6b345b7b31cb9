// The chunk ring: every worker gets every line once and in log order, with the marks made
// once per chunk, while one worker lags slots behind; a stop or a failing marker wakes the
// workers that wait instead of leaving them waiting for ever.

#include "core/ChunkRing.h"

#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

class ChunkRingTest : public ::testing::Test {
protected:
    // A log of lines of many lengths, several read pieces long; its lines in Lines.
    void WriteLog(int lines) {
        std::string log;
        for (int i = 0; i < lines; ++i) {
            Lines.push_back("line " + std::to_string(i) + " " + std::string(static_cast<size_t>(i % 300), 'x'));
            log += Lines.back() + (i % 5 == 0 ? "\r\n" : "\n");
        }
        Sandbox.Folder.WriteFile("access.log", log);
        Reader.AddLogFile(Sandbox.Folder.Path() + "access.log");
        Reader.Rewind();
    }

    TSandbox Sandbox;
    TLogFileReader Reader;
    std::vector<std::string> Lines;
};

TEST_F(ChunkRingTest, EveryWorkerGetsEveryLineOnceInOrderWhileOneLags) {
    WriteLog(60000); // about 9 MiB: more chunks than slots
    int marked = 0;  // chunks marked, each once, in order
    TChunkRing ring(Reader, 3, [&](const TLogFileReader::TChunk& chunk, std::vector<TChunkRing::TMark>& marks) {
        marks.assign(chunk.Lines.size(), TChunkRing::TMark{marked++, 0});
        for (size_t i = 0; i < marks.size(); ++i)
            marks[i].Bucket = static_cast<uint8_t>(chunk.Lines[i].Length % 7);
    });
    struct TSeen {
        std::vector<std::string> Lines;
        int Chunks = 0;
        std::string Fault;
    };
    std::vector<TSeen> seen(3);
    std::vector<std::thread> threads;
    for (int w = 0; w < 3; ++w)
        threads.emplace_back([&, w] {
            TSeen& mine = seen[static_cast<size_t>(w)];
            for (uint64_t k = 0;; ++k) {
                const TChunkRing::TMarkedChunk* marked = ring.Await(k);
                if (!marked) break;
                ++mine.Chunks;
                const TLogFileReader::TChunk& chunk = marked->Chunk;
                for (size_t i = 0; i < chunk.Lines.size(); ++i) {
                    const TChunkRing::TMark mark = marked->Marks[i];
                    if (mark.HostKey != static_cast<int32_t>(k) || mark.Bucket != chunk.Lines[i].Length % 7)
                        mine.Fault = "chunk " + std::to_string(k) + " line " + std::to_string(i) + " has another's mark";
                    mine.Lines.emplace_back(chunk.Line(chunk.Lines[i]));
                }
                // The last worker lags, so that the others wait for its slots.
                if (w == 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
                ring.Release(k);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const TSeen& mine : seen) {
        EXPECT_EQ(mine.Fault, "");
        EXPECT_EQ(mine.Chunks, marked);
        EXPECT_TRUE(mine.Lines == Lines) << mine.Lines.size() << " lines of " << Lines.size();
    }
    EXPECT_GT(marked, 6);
}

TEST_F(ChunkRingTest, AStopOrAFailingMarkerWakesTheWaitingWorkers) {
    WriteLog(60000);
    // Worker 1 never releases: once every slot is taken, the next chunk waits until the stop.
    {
        TChunkRing ring(Reader, 2, [](const TLogFileReader::TChunk& chunk, std::vector<TChunkRing::TMark>& marks) {
            marks.resize(chunk.Lines.size());
        });
        uint64_t k = 0;
        for (; k < 4; ++k) {
            ASSERT_NE(ring.Await(k), nullptr);
            ring.Release(k);
        }
        auto waiting = std::async(std::launch::async, [&] { return ring.Await(k); });
        EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        ring.Stop();
        ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(waiting.get(), nullptr);
    }
    // The worker whose marker fails gets the failure (chunk 1 is read ahead as chunk 0 is
    // handed out); the others get no more chunks.
    Reader.Rewind();
    int calls = 0;
    TChunkRing ring(Reader, 2, [&](const TLogFileReader::TChunk& chunk, std::vector<TChunkRing::TMark>& marks) {
        if (++calls == 2) throw std::runtime_error("marker failed");
        marks.resize(chunk.Lines.size());
    });
    EXPECT_THROW(ring.Await(0), std::runtime_error);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(ring.Await(0), nullptr);
    EXPECT_EQ(ring.Await(1), nullptr);
}

} // namespace
