// The log "-": standard input read as a stream, here a pipe put in place of the test's own
// standard input for the test's length.

#include "sources/LogReader.h"

#include "support/PeakMemory.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <thread>

namespace {

// Standard input reads what Feed writes, until the fixture ends.
class LogReaderStdinTest : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        SavedInput = dup(STDIN_FILENO);
        ASSERT_EQ(dup2(fds[0], STDIN_FILENO), STDIN_FILENO);
        close(fds[0]);
        WriteEnd = fds[1];
    }
    void TearDown() override {
        if (Writer.joinable()) Writer.join();
        dup2(SavedInput, STDIN_FILENO);
        close(SavedInput);
    }
    // Writes lines 0..count-1 ("line <n>" and padding) on a thread of its own, then closes the pipe.
    void Feed(int count) {
        Writer = std::thread([this, count] {
            std::string block;
            for (int i = 0; i < count; ++i) {
                block += LineText(i) + (i % 2 ? "\r\n" : "\n");
                if (block.size() > 60000 || i + 1 == count) {
                    if (write(WriteEnd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) break;
                    block.clear();
                }
            }
            close(WriteEnd);
        });
    }
    static std::string LineText(int i) { return "line " + std::to_string(i) + std::string(i % 97, 'x'); }

    TSandbox Sandbox;
    int SavedInput = -1, WriteEnd = -1;
    std::thread Writer;
};

TEST_F(LogReaderStdinTest, LinesAPeekReadAreDeliveredAgainAndTheStreamIsNeverHeldWhole) {
    constexpr int kLines = 600000; // about 40 MiB, through chunks of 1 MiB
    const int64_t memoryBefore = PeakMemoryMB();
    Feed(kLines);
    TLogFileReader reader;
    reader.StandardInput = true;
    reader.BufferMB = 1;
    reader.ClearLogFiles();
    ASSERT_EQ(reader.Files, std::vector<std::string>{"-"});
    reader.Rewind();
    reader.PeekStandardInput();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.ReadLine());
        EXPECT_EQ(reader.CurrentLine, LineText(i));
    }
    reader.ClearLogFiles(); // as the analysis opens the set again
    int count = 0;
    while (reader.ReadLine()) {
        if (reader.CurrentLine != LineText(count)) {
            ADD_FAILURE() << "line " << count << ": " << reader.CurrentLine.substr(0, 40);
            break;
        }
        ++count;
    }
    EXPECT_EQ(count, kLines);
    if (kPeakMemoryIsMeaningful) {
        EXPECT_LT(PeakMemoryMB() - memoryBefore, 24);
    }
}

TEST_F(LogReaderStdinTest, AnEmptyOrBrokenOffStreamEndsAtOnce) {
    close(WriteEnd); // the writer went away before writing anything
    TLogFileReader reader;
    reader.StandardInput = true;
    reader.ClearLogFiles();
    reader.Rewind();
    EXPECT_FALSE(reader.ReadLine());
    EXPECT_TRUE(reader.Warnings.empty());
}

} // namespace
