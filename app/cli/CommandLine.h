#pragma once
// The command line's options: a table of what each option takes, and the parser that reads
// argv into a TCommandLine or names what is wrong with it.

#include <string>
#include <string_view>
#include <vector>

enum class TCliAction { Report, Logs, List, Help, Version };

struct TCommandLine {
    TCliAction Action = TCliAction::Report;
    std::string ProfileName;
    std::vector<std::string> LogPaths; // --logs: files and folders, "-" for standard input
    std::string OutputFolder;          // --output
    std::string LogFormat;             // --format
    std::string JsonFile;              // --json
    std::string CsvFolder;             // --csv
    std::string Error;                 // not empty when the arguments are wrong: says which one and why
};

// One option: its long name (without "--"), its short letter (0 for none), whether it takes a
// value, the action it selects, and the field its value fills (none for an action's option;
// --logs also takes the operands after it).
struct TCliOption {
    std::string_view LongName;
    char ShortName;
    bool TakesValue;
    TCliAction Action;
    std::string TCommandLine::*Field = nullptr;
};

// The options quorvel knows, in the order --help lists them.
const std::vector<TCliOption>& CliOptions();

// Reads argv[1..argc-1]: "--opt=value" and "--opt value", short "-h", "--" ends the options;
// exactly one profile name for a report, the log paths of --logs, none with --list, --help or
// --version.
TCommandLine ParseCommandLine(int argc, const char* const* argv);
