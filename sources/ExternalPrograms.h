#pragma once
// External programs: finding the installed Java runtime, and running a program without
// a shell or a terminal while its standard output is captured.

#include <string>
#include <string_view>
#include <vector>

// The folder holding the "java" program, ending in "/", or empty: $JAVA_HOME (its own
// folder, then its "bin/") when it holds an executable "java", else the first folder of
// PATH that does. A folder once found is remembered; an empty result is looked up again.
// Thread-safe.
std::string FindJavaHome();
// Forgets the remembered Java folder, so that the next call looks it up again.
void ForgetJavaHome();

// The words of a command line: white space (spaces, tabs, line ends) separates them,
// double quotes group it into a word and are removed ("" is an empty word). No other
// shell syntax is understood.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// RunHiddenAndCapture's result when the program could not be started (or its end could
// not be observed). Never mistaken for an exit status.
constexpr int kRunFailed = -1;

// Runs commandLine (its first word names the program, found on PATH when it holds no
// "/"), with the caller's environment and current folder, standard input from /dev/null
// and standard error inherited, and waits for its end. With capture the standard output
// is collected into *output (replacing its content; output may be null to discard it);
// without it the output goes to /dev/null. Returns the exit status (0-255), 128 + the
// signal number when a signal ended the program, or kRunFailed.
int RunHiddenAndCapture(std::string_view commandLine, bool capture, std::string* output = nullptr);
