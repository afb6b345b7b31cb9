// The shard feed: every worker gets every valid line once and in log order across the
// batches read ahead, with its host's bucket, also when a directive changes the format
// midway; a feed stopped or dropped early ends its reader.

#include "core/ShardFeed.h"

#include "profile/u_qvprofile.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

class ShardFeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile.InitNew();
        Profile.LogPaths = {Sandbox.Folder.Path() + "logs/"};
    }
    static std::string Host(int i) { return "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250); }
    // Line i of a log: its own host, one of 100 paths, i bytes.
    static std::string Line(int i, const std::string& agent, const char* lineBreak) {
        char time[32];
        std::snprintf(time, sizeof time, "10/Oct/2003:%02d:%02d:%02d +0000", i / 3600 % 24, i / 60 % 60, i % 60);
        return Host(i) + " - - [" + time + "] \"GET /p" + std::to_string(i % 100) + ".html HTTP/1.1\" 200 " +
               std::to_string(i) + " \"-\" \"" + agent + "\"" + lineBreak;
    }
    // What one worker saw: each line as "host path bytes agent".
    struct TSeen {
        std::vector<std::string> Lines;
        std::string Fault;
    };
    // Runs the feed with workers threads, each taking every batch in turn.
    std::vector<TSeen> Feed(int workers, int64_t* unreadable) {
        Profile.OpenLogFiles();
        TShardFeed feed(Profile, {}, workers);
        std::vector<TSeen> seen(static_cast<size_t>(workers));
        std::vector<std::thread> threads;
        for (int w = 0; w < workers; ++w)
            threads.emplace_back([&feed, &seen, w] {
                TSeen& mine = seen[static_cast<size_t>(w)];
                for (uint64_t k = 0;; ++k) {
                    const TShardFeed::TBatch* batch = feed.Await(k, w);
                    if (!batch) break;
                    for (size_t i = 0; i < batch->Count; ++i) {
                        const TLogEntry& line = batch->Lines[i];
                        if (batch->Buckets[i] != TShardFeed::BucketOf(line.Host()))
                            mine.Fault = "wrong bucket for " + std::string(line.Host());
                        mine.Lines.push_back(std::string(line.Host()) + " " + std::string(line.Path()) + " " +
                                             std::to_string(line.Bytes) + " " +
                                             std::string(batch->VisitFieldsOf(i).Agent));
                    }
                    feed.Release(k);
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_FALSE(feed.Stopped());
        *unreadable = feed.UnreadableLines();
        return seen;
    }

    TSandbox Sandbox;
    TQVProfile Profile;
};

TEST_F(ShardFeedTest, EveryWorkerGetsEveryValidLineOnceInOrder) {
    struct TCase {
        const char* Name;
        int Lines;
        int JunkBefore = 0; // junk lines before every line
        size_t AgentLength = 10;
        const char* Break = "\n"; // after every line but the last
        bool LastBreak = true;
    };
    const TCase cases[] = {
        {"empty log", 0},
        {"one line without a break", 1, 0, 10, "\n", false},
        {"a full batch", 1024},
        {"a full batch and one, CRLF", 1025, 0, 10, "\r\n"},
        {"more batches than are read ahead", 11 * 1024 + 7, 0, 10, "\r\n", false},
        {"runs of junk longer than a batch", 3, 5000},
        {"lines of a megabyte", 12, 0, 1 << 20},
    };
    for (const TCase& c : cases) {
        std::string log;
        std::vector<std::string> expected;
        for (int i = 0; i < c.Lines; ++i) {
            for (int k = 0; k < c.JunkBefore; ++k)
                log += "junk that fits no format\n";
            log += Line(i, std::string(c.AgentLength, 'a'), i + 1 < c.Lines || c.LastBreak ? c.Break : "");
            expected.push_back(Host(i) + " /p" + std::to_string(i % 100) + ".html " + std::to_string(i) + " " +
                               std::string(c.AgentLength, 'a'));
        }
        Sandbox.Folder.WriteFile("logs/access.log", log);
        for (const int workers : {1, 3}) {
            SCOPED_TRACE(std::string(c.Name) + ", " + std::to_string(workers) + " workers");
            int64_t unreadable = -1;
            for (const TSeen& seen : Feed(workers, &unreadable)) {
                EXPECT_EQ(seen.Fault, "");
                EXPECT_TRUE(seen.Lines == expected) << seen.Lines.size() << " lines";
            }
            EXPECT_EQ(unreadable, c.JunkBefore * c.Lines);
            EXPECT_EQ(Profile.LogReader.LinesRead, (c.JunkBefore + 1) * c.Lines);
        }
    }
}

// W3C directives change the format between lines: the lines after one are parsed by it,
// whichever worker parses their batch.
TEST_F(ShardFeedTest, DirectivesChangeTheFormatOfTheLinesAfterThem) {
    std::string log = "#Fields: date time c-ip cs-uri-stem sc-status sc-bytes\n";
    std::vector<std::string> expected;
    for (int i = 0; i < 6000; ++i) {
        if (i == 3000) log += "#Date: 2003-10-11 00:00:00\n#Fields: time sc-bytes cs-uri-stem c-ip sc-status\n";
        const std::string path = "/w" + std::to_string(i % 7) + ".html";
        log += i < 3000 ? "2003-10-10 10:00:00 " + Host(i) + " " + path + " 200 " + std::to_string(i) + "\n"
                        : "10:00:00 " + std::to_string(i) + " " + path + " " + Host(i) + " 200\n";
        expected.push_back(Host(i) + " " + path + " " + std::to_string(i) + " ");
    }
    Sandbox.Folder.WriteFile("logs/ex031010.log", log);
    Profile.LogFormat = "";
    for (const int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        int64_t unreadable = -1;
        for (const TSeen& seen : Feed(workers, &unreadable))
            EXPECT_TRUE(seen.Lines == expected) << seen.Lines.size() << " lines";
        EXPECT_EQ(unreadable, 0);
    }
}

// The reader fills the batches ahead and waits; stopping or dropping the feed, with
// batches taken or not, ends that wait, and a stopped feed hands out no more batches.
TEST_F(ShardFeedTest, AFeedStoppedOrDroppedEarlyEndsItsReader) {
    std::string log;
    for (int i = 0; i < 40000; ++i)
        log += Line(i, "agent", "\n");
    Sandbox.Folder.WriteFile("logs/access.log", log);
    for (const bool stop : {false, true}) {
        for (const uint64_t taken : {0u, 1u, 5u}) {
            SCOPED_TRACE(std::to_string(taken) + (stop ? " taken, stopped" : " taken, dropped"));
            Profile.OpenLogFiles();
            TShardFeed feed(Profile, {}, 2);
            for (uint64_t k = 0; k < taken; ++k) {
                ASSERT_NE(feed.Await(k, 0), nullptr);
                feed.Release(k); // worker 1 never comes
            }
            if (!stop) continue;
            feed.Stop();
            EXPECT_TRUE(feed.Stopped());
            EXPECT_EQ(feed.Await(taken, 0), nullptr);
        }
    }
}

} // namespace
