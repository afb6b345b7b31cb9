// Option parsing of the quorvel command line. Options are looked up in one table, so that an
// option with a value needs only a row and a field.

#include "app/cli/CommandLine.h"

namespace {

const TCliOption* FindLong(std::string_view name) {
    for (const TCliOption& option : CliOptions())
        if (option.LongName == name) return &option;
    return nullptr;
}

const TCliOption* FindShort(char letter) {
    for (const TCliOption& option : CliOptions())
        if (option.ShortName != 0 && option.ShortName == letter) return &option;
    return nullptr;
}

} // namespace

const std::vector<TCliOption>& CliOptions() {
    static const std::vector<TCliOption> kOptions = {
        {"logs", 0, true, TCliAction::Logs},
        {"output", 0, true, TCliAction::Logs, &TCommandLine::OutputFolder},
        {"format", 0, true, TCliAction::Logs, &TCommandLine::LogFormat},
        {"json", 0, true, TCliAction::Report, &TCommandLine::JsonFile},
        {"csv", 0, true, TCliAction::Report, &TCommandLine::CsvFolder},
        {"list", 0, false, TCliAction::List},
        {"help", 'h', false, TCliAction::Help},
        {"version", 'V', false, TCliAction::Version},
    };
    return kOptions;
}

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
    TCommandLine line;
    std::vector<std::string_view> operands;
    bool optionsEnded = false, actionGiven = false;
    std::string logsOnly; // an option that only --logs takes, when given
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const TCliOption* option = nullptr;
        std::string_view name = argument, value;
        bool hasValue = false;
        if (argument.starts_with("--")) {
            const size_t equals = argument.find('=');
            name = argument.substr(0, equals);
            if (equals != std::string_view::npos) {
                value = argument.substr(equals + 1);
                hasValue = true;
            }
            option = FindLong(name.substr(2));
        } else if (argument.size() == 2) {
            option = FindShort(argument[1]);
        }
        if (!option) {
            line.Error = "unknown option \"" + std::string(argument) + "\"";
            return line;
        }
        if (option->TakesValue && !hasValue) {
            if (i + 1 >= argc) {
                line.Error = "the option \"" + std::string(name) + "\" needs a value";
                return line;
            }
            value = argv[++i];
        } else if (!option->TakesValue && hasValue) {
            line.Error = "the option \"" + std::string(name) + "\" takes no value";
            return line;
        }
        if (option->TakesValue && value.empty()) {
            line.Error = "the option \"" + std::string(name) + "\" needs a value";
            return line;
        }
        if (option->Field) {
            // A field's option only serves an action: --output and --format that of --logs.
            std::string& field = line.*(option->Field);
            if (!field.empty()) {
                line.Error = "the option \"" + std::string(name) + "\" is given twice";
                return line;
            }
            field = value;
            if (option->Action == TCliAction::Logs) logsOnly = std::string(name);
            continue;
        }
        if (option->Action == TCliAction::Logs) line.LogPaths.emplace_back(value);
        // Help and version win over anything else, as users expect of them.
        if (line.Action == TCliAction::Help || line.Action == TCliAction::Version) continue;
        if (actionGiven && option->Action != line.Action && option->Action != TCliAction::Help &&
            option->Action != TCliAction::Version) {
            line.Error = "the option \"" + std::string(name) + "\" cannot be combined with the one before";
            return line;
        }
        line.Action = option->Action;
        actionGiven = true;
    }
    if (line.Action == TCliAction::Help || line.Action == TCliAction::Version) return line;
    if (line.Action != TCliAction::Logs && !logsOnly.empty()) {
        line.Error = "the option \"" + logsOnly + "\" needs --logs";
        return line;
    }
    if (line.Action == TCliAction::List) {
        if (!line.JsonFile.empty() || !line.CsvFolder.empty())
            line.Error = "the option \"--list\" takes no --json or --csv";
        else if (!operands.empty())
            line.Error = "extra argument \"" + std::string(operands.front()) + "\"";
        return line;
    }
    if (line.Action == TCliAction::Logs) {
        // The operands after --logs are more logs.
        for (const std::string_view operand : operands)
            line.LogPaths.emplace_back(operand);
        return line;
    }
    if (operands.empty()) {
        line.Error = "no profile name given";
        return line;
    }
    if (operands.size() > 1) {
        line.Error = "extra argument \"" + std::string(operands[1]) + "\"";
        return line;
    }
    line.ProfileName = operands.front();
    return line;
}
