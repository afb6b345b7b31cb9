// The line feed: every valid line once and in log order across the batches it reads ahead,
// whether the consumer waits or polls, and a feed dropped early stops its reader.

#include "core/LineFeed.h"

#include "profile/u_qvprofile.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

class LineFeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        Profile.InitNew();
        Profile.LogPaths = {Sandbox.Folder.Path() + "logs/"};
    }
    // Line i of a log: its own host, one of 100 paths, i bytes.
    static std::string Line(int i, const std::string& agent, const char* lineBreak) {
        char time[32];
        std::snprintf(time, sizeof time, "10/Oct/2003:%02d:%02d:%02d +0000", i / 3600 % 24, i / 60 % 60, i % 60);
        return "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + " - - [" + time + "] \"GET /p" +
               std::to_string(i % 100) + ".html HTTP/1.1\" 200 " + std::to_string(i) + " \"-\" \"" + agent + "\"" +
               lineBreak;
    }

    TSandbox Sandbox;
    TQVProfile Profile;
};

TEST_F(LineFeedTest, EveryValidLineComesOnceInOrderAcrossBatches) {
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
        {"more batches than are read ahead", 5 * 1024 + 7, 0, 10, "\r\n", false},
        {"runs of junk longer than a batch tries", 3, 9000},
        {"lines of a megabyte", 12, 0, 1 << 20},
    };
    for (const TCase& c : cases) {
        std::string log;
        for (int i = 0; i < c.Lines; ++i) {
            for (int k = 0; k < c.JunkBefore; ++k)
                log += "junk that fits no format\n";
            log += Line(i, std::string(c.AgentLength, 'a'), i + 1 < c.Lines || c.LastBreak ? c.Break : "");
        }
        Sandbox.Folder.WriteFile("logs/access.log", log);
        for (const bool poll : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (poll ? ", polled" : ""));
            Profile.OpenLogFiles();
            TPathIndex paths;
            TLineFeed feed(Profile, {}, paths);
            std::map<std::string, uint32_t> ids;
            int64_t progress = 0;
            int n = 0, pauses = 0;
            for (;;) {
                TLogEntry* line = feed.Next(!poll);
                if (!line) {
                    if (feed.Finished()) break;
                    ++pauses;
                    std::this_thread::yield();
                    continue;
                }
                ASSERT_LT(n, c.Lines);
                const std::string path = "/p" + std::to_string(n % 100) + ".html";
                EXPECT_EQ(line->Host(), "10.0." + std::to_string(n / 250) + "." + std::to_string(n % 250));
                EXPECT_EQ(line->Path(), path);
                EXPECT_EQ(line->StoredPath(), path);
                EXPECT_EQ(ids.try_emplace(path, static_cast<uint32_t>(ids.size())).first->second, line->PathId);
                EXPECT_EQ(line->Bytes, n);
                EXPECT_EQ(line->Agent().size(), c.AgentLength);
                EXPECT_GE(feed.ProgressKB(), progress);
                progress = feed.ProgressKB();
                ++n;
            }
            EXPECT_EQ(n, c.Lines);
            // A waiting consumer gets control back during long junk, to check for a cancel.
            if (!poll) {
                EXPECT_EQ(pauses > 0, c.JunkBefore > 8 * 1024);
            }
            EXPECT_EQ(feed.Next(), nullptr);
            EXPECT_EQ(feed.ProgressKB(), Profile.LogReader.ProgressKB());
        }
    }
}

// The reader fills the batches ahead and waits; dropping the feed, with lines taken or
// not, ends that wait.
TEST_F(LineFeedTest, AFeedDroppedEarlyStopsItsReader) {
    std::string log;
    for (int i = 0; i < 20000; ++i)
        log += Line(i, "agent", "\n");
    Sandbox.Folder.WriteFile("logs/access.log", log);
    for (const int taken : {0, 1, 1024, 3000}) {
        SCOPED_TRACE(taken);
        Profile.OpenLogFiles();
        TPathIndex paths;
        TLineFeed feed(Profile, {}, paths);
        for (int i = 0; i < taken; ++i)
            ASSERT_NE(feed.Next(), nullptr);
        EXPECT_FALSE(feed.Finished());
    }
}

} // namespace
