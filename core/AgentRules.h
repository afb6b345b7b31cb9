#pragma once
// Rules that name browsers, systems and robots from a user-agent text, read from
// "static/agents.dta" (its header describes the format). First match wins per kind.

#include "core/AgentClassification.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TAgentRuleKind { Robot, Browser, OS };

struct TAgentRule {
    TAgentRuleKind Kind = TAgentRuleKind::Browser;
    std::string NameHead;                  // name text before "%v", or the whole name
    std::string NameTail;                  // name text after "%v"
    bool Versioned = false;                // the name holds "%v"
    std::vector<std::string> Required;     // lower-cased texts that must all occur
    std::vector<std::string> Excluded;     // lower-cased texts that must not occur
    std::vector<std::string> VersionAfter; // lower-cased texts the major version follows
};

class TAgentRules {
public:
    // Replaces the rules by those of the file; false when it cannot be read. Bad lines are
    // skipped, each with a message in problems ("line N: why").
    bool Load(const std::string& fileName, std::vector<std::string>* problems = nullptr);
    // Loads the file unless it is the one loaded last: the program folder does not change
    // in a run, so analysers load it once and never replace rules another one is using.
    void LoadOnce(const std::string& fileName);
    void Parse(std::string_view text, std::vector<std::string>* problems = nullptr);
    bool Empty() const { return Rules.empty(); }
    const std::vector<TAgentRule>& All() const { return Rules; }

    // Sets the parts of result that a rule names: a robot sets both (system "Robot"),
    // otherwise the first browser rule and the first system rule that match.
    void Classify(std::string_view agent, TAgentClass& result) const;

private:
    std::vector<TAgentRule> Rules; // robots first, then the file's order
    std::optional<std::string> LoadedFrom;
};

// The process-wide rules, empty until loaded.
TAgentRules& AgentRules();
