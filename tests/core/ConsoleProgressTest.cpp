#include "core/ConsoleProgress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

std::string Contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

TEST(ConsoleProgressTest, DrawsCaptionBarAndShareOnlyOnATerminal) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        TConsoleProgress progress(out, true);
        progress.SetProfileCaption("Demo");
        progress.SetJobs(3, 0, true);
        progress.NewJob("Analysing...", 200);
        progress.SetPosition(50);
        progress.Refresh();
        EXPECT_EQ(progress.JobIndex(), 0);
    }
    const std::string text = Contents(out);
    EXPECT_NE(text.find("Demo: Analysing..."), std::string::npos) << text;
    EXPECT_NE(text.find(" 25%"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n'); // the line is ended when the progress goes
    std::fclose(out);

    // A file that is not a terminal gets nothing.
    std::FILE* file = std::tmpfile();
    {
        TConsoleProgress quiet(file);
        quiet.NewJob("Analysing...", 10);
        quiet.Refresh();
    }
    EXPECT_EQ(Contents(file), "");
    std::fclose(file);
}

TEST(ConsoleProgressTest, CancelIsSeenAcrossThreadsAndNeverCleared) {
    TConsoleProgress progress(nullptr);
    EXPECT_FALSE(progress.CancelRequested());
    std::thread([&] { progress.RequestCancel(); }).join();
    EXPECT_TRUE(progress.CancelRequested());
    progress.SetJobs(3, 0, true);
    EXPECT_TRUE(progress.CancelRequested());
}

} // namespace
