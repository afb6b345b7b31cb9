#include "sources/ExternalPrograms.h"

#include "support/TestFolder.h"

#include "support/EnvOverride.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int OpenDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

TEST(ExternalProgramsTest, SplitCommandLineSeparatesAtBlanksAndGroupsQuotes) {
    using TWords = std::vector<std::string>;
    const std::pair<std::string, TWords> cases[] = {
        {"java -cp a.jar Main", {"java", "-cp", "a.jar", "Main"}},
        {"  spaced\t\tout  ", {"spaced", "out"}},
        {"\"/opt/my java/bin/java\" -jar \"x y.jar\"", {"/opt/my java/bin/java", "-jar", "x y.jar"}},
        {"a\"b c\"d e", {"ab cd", "e"}},
        {"empty \"\" word", {"empty", "", "word"}},
        {"open \"quote to the end", {"open", "quote to the end"}},
        {"", {}},
        {"   ", {}},
    };
    for (const auto& [line, words] : cases)
        EXPECT_EQ(SplitCommandLine(line), words) << line;
}

TEST(ExternalProgramsTest, RunReturnsExitStatusAndExactOutput) {
    struct TCase {
        std::string CommandLine;
        bool Capture;
        int ExitCode;
        std::string Output;
    };
    const TCase cases[] = {
        {"true", true, 0, ""},
        {"false", true, 1, ""},
        {"sh -c \"exit 7\"", false, 7, ""},
        {"echo hello", true, 0, "hello\n"},
        {"echo hello", false, 0, ""},
        {"printf \"[%s]\" \"a b\" c", true, 0, "[a b][c]"},
        {"/bin/sh -c \"echo out; echo err >&2; exit 3\"", true, 3, "out\n"}, // standard error is not captured
        {"cat", true, 0, ""},                                                // standard input is empty
        {"sh -c \"kill -9 $$\"", true, 128 + 9, ""},
    };
    for (const TCase& c : cases) {
        std::string output = "stale";
        EXPECT_EQ(RunHiddenAndCapture(c.CommandLine, c.Capture, &output), c.ExitCode) << c.CommandLine;
        EXPECT_EQ(output, c.Output) << c.CommandLine;
    }
}

TEST(ExternalProgramsTest, RunProgramsThatCannotStartAreFailures) {
    TTestFolder scratch;
    const std::string notExecutable = scratch.WriteFile("script.sh", "#!/bin/sh\necho hi\n");
    for (const std::string& line : {std::string("quorvel-no-such-program-here"), std::string("/nonexistent/prog"),
                                    notExecutable, scratch.Path(), std::string(""), std::string("\"\" arg")}) {
        std::string output = "stale";
        EXPECT_EQ(RunHiddenAndCapture(line, true, &output), kRunFailed) << line;
        EXPECT_EQ(output, "") << line;
    }
}

TEST(ExternalProgramsTest, RunOutputLargerThanThePipeIsReadWhileTheChildRuns) {
    std::string output;
    ASSERT_EQ(RunHiddenAndCapture("head -c 5000000 /dev/zero", true, &output), 0);
    EXPECT_EQ(output.size(), 5000000u);
    EXPECT_EQ(output.find_first_not_of('\0'), std::string::npos);
    EXPECT_EQ(RunHiddenAndCapture("head -c 3000000 /dev/zero", true), 0); // read and dropped
}

TEST(ExternalProgramsTest, RunBackgroundProcessHoldingThePipeDoesNotDelayTheResult) {
    const auto start = std::chrono::steady_clock::now();
    std::string output;
    EXPECT_EQ(RunHiddenAndCapture("sh -c \"sleep 3 2>/dev/null & echo started\"", true, &output), 0);
    EXPECT_EQ(output, "started\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ExternalProgramsTest, RunLeavesNoDescriptorOrChildBehind) {
    // A descriptor opened without close-on-exec must not reach the child either.
    const int inheritable = dup(STDERR_FILENO);
    ASSERT_GE(inheritable, 0);
    const int before = OpenDescriptorCount();
    const std::string probe = "sh -c \"test -e /dev/fd/" + std::to_string(inheritable) + "\"";
    EXPECT_EQ(RunHiddenAndCapture(probe, true), 1);
    EXPECT_EQ(RunHiddenAndCapture(probe, false), 1);
    EXPECT_EQ(RunHiddenAndCapture("no-such-program-either", true), kRunFailed);
    EXPECT_EQ(OpenDescriptorCount(), before);
    close(inheritable);
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

class ExternalProgramsJavaTest : public ::testing::Test {
protected:
    TTestFolder Scratch;
    TEnvOverride JavaHome{"JAVA_HOME", std::nullopt};
    TEnvOverride Path{"PATH", Scratch.Path() + "nothing"};

    void SetUp() override { ForgetJavaHome(); }
    void TearDown() override { ForgetJavaHome(); }

    std::string MakeProgram(const std::string& relativeName, mode_t mode = 0755) {
        const std::string path = Scratch.WriteFile(relativeName, "#!/bin/sh\n");
        chmod(path.c_str(), mode);
        return path;
    }
};

TEST_F(ExternalProgramsJavaTest, UsesJavaHomeItselfOrItsBinFolder) {
    MakeProgram("jdk/bin/java");
    setenv("JAVA_HOME", (Scratch.Path() + "jdk").c_str(), 1);
    EXPECT_EQ(FindJavaHome(), Scratch.Path() + "jdk/bin/");

    ForgetJavaHome();
    MakeProgram("jre/java");
    setenv("JAVA_HOME", (Scratch.Path() + "jre/").c_str(), 1);
    EXPECT_EQ(FindJavaHome(), Scratch.Path() + "jre/");
}

TEST_F(ExternalProgramsJavaTest, FallsBackToTheFirstExecutableOnPath) {
    MakeProgram("broken/bin/java", 0644);
    std::filesystem::create_directories(Scratch.Path() + "dironly/java");
    MakeProgram("first/java");
    MakeProgram("second/java");
    setenv("JAVA_HOME", (Scratch.Path() + "broken").c_str(), 1);
    const std::string path =
        ":relative:" + Scratch.Path() + "dironly:" + Scratch.Path() + "first:" + Scratch.Path() + "second";
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(FindJavaHome(), Scratch.Path() + "first/");
}

TEST_F(ExternalProgramsJavaTest, RemembersAFoundFolderButRetriesAnEmptyOne) {
    EXPECT_EQ(FindJavaHome(), "");
    MakeProgram("one/java");
    setenv("PATH", (Scratch.Path() + "one").c_str(), 1);
    EXPECT_EQ(FindJavaHome(), Scratch.Path() + "one/");
    MakeProgram("two/java");
    setenv("PATH", (Scratch.Path() + "two").c_str(), 1);
    EXPECT_EQ(FindJavaHome(), Scratch.Path() + "one/");
}

} // namespace
