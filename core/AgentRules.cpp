#include "core/AgentRules.h"

#include "sources/CUtils.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

// Pieces of a field split at sep, blanks trimmed, empty pieces dropped.
std::vector<std::string> SplitField(std::string_view field, char sep) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= field.size()) {
        size_t end = field.find(sep, start);
        if (end == std::string_view::npos) end = field.size();
        const std::string_view piece = TrimView(field.substr(start, end - start));
        if (!piece.empty()) pieces.emplace_back(piece);
        start = end + 1;
    }
    return pieces;
}

bool ParseKind(std::string_view text, TAgentRuleKind& kind) {
    if (text == "robot")
        kind = TAgentRuleKind::Robot;
    else if (text == "browser")
        kind = TAgentRuleKind::Browser;
    else if (text == "os")
        kind = TAgentRuleKind::OS;
    else
        return false;
    return true;
}

// Parses one rule line; false with a reason when it is malformed.
bool ParseRule(std::string_view line, TAgentRule& rule, std::string& why) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t end = line.find('|', start);
        fields.push_back(TrimView(line.substr(start, end == std::string_view::npos ? line.npos : end - start)));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (fields.size() < 3 || fields.size() > 4) {
        why = "expected 3 or 4 fields separated by '|'";
        return false;
    }
    if (!ParseKind(fields[0], rule.Kind)) {
        why = "kind must be robot, browser or os";
        return false;
    }
    const std::string_view name = fields[1];
    if (name.empty()) {
        why = "empty name";
        return false;
    }
    const size_t mark = name.find("%v");
    rule.Versioned = mark != std::string_view::npos;
    rule.NameHead = rule.Versioned ? std::string(name.substr(0, mark)) : std::string(name);
    rule.NameTail = rule.Versioned ? std::string(name.substr(mark + 2)) : std::string();
    for (std::string& text : SplitField(fields[2], '&')) {
        LowerCaseInPlace(text);
        if (text[0] == '!') {
            if (text.size() > 1) rule.Excluded.push_back(text.substr(1));
        } else {
            rule.Required.push_back(std::move(text));
        }
    }
    if (rule.Required.empty()) {
        why = "no text to match";
        return false;
    }
    if (fields.size() == 4)
        for (std::string& text : SplitField(fields[3], ',')) {
            LowerCaseInPlace(text);
            rule.VersionAfter.push_back(std::move(text));
        }
    if (rule.Versioned != !rule.VersionAfter.empty()) {
        why = "a name with %v needs a version field, and a version field needs %v in the name";
        return false;
    }
    return true;
}

bool Matches(const TAgentRule& rule, std::string_view lowered) {
    for (const std::string& text : rule.Required)
        if (lowered.find(text) == std::string_view::npos) return false;
    for (const std::string& text : rule.Excluded)
        if (lowered.find(text) != std::string_view::npos) return false;
    return true;
}

// The rule's name with the major version found after its first version text that is
// followed (blanks skipped) by a digit; without " %v" when there is none.
std::string NameOf(const TAgentRule& rule, std::string_view lowered) {
    if (!rule.Versioned) return rule.NameHead;
    for (const std::string& marker : rule.VersionAfter) {
        for (size_t at = lowered.find(marker); at != std::string_view::npos; at = lowered.find(marker, at + 1)) {
            size_t digits = at + marker.size();
            while (digits < lowered.size() && lowered[digits] == ' ')
                ++digits;
            size_t end = digits;
            while (end < lowered.size() && end - digits < 6 && lowered[end] >= '0' && lowered[end] <= '9')
                ++end;
            if (end > digits) {
                std::string name = rule.NameHead;
                name.append(lowered.substr(digits, end - digits)).append(rule.NameTail);
                return name;
            }
        }
    }
    return Trim(rule.NameHead + rule.NameTail);
}

} // namespace

bool TAgentRules::Load(const std::string& fileName, std::vector<std::string>* problems) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        Rules.clear();
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    Parse(text.str(), problems);
    return true;
}

void TAgentRules::LoadOnce(const std::string& fileName) {
    static std::mutex loading;
    std::lock_guard<std::mutex> lock(loading);
    if (LoadedFrom && *LoadedFrom == fileName) return;
    Load(fileName);
    LoadedFrom = fileName;
}

void TAgentRules::Parse(std::string_view text, std::vector<std::string>* problems) {
    std::vector<TAgentRule> robots, others;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = TrimView(text.substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        TAgentRule rule;
        std::string why;
        if (!ParseRule(line, rule, why)) {
            if (problems) problems->push_back("line " + std::to_string(lineNumber) + ": " + why);
            continue;
        }
        (rule.Kind == TAgentRuleKind::Robot ? robots : others).push_back(std::move(rule));
    }
    robots.insert(robots.end(), std::make_move_iterator(others.begin()), std::make_move_iterator(others.end()));
    Rules = std::move(robots);
}

void TAgentRules::Classify(std::string_view agent, TAgentClass& result) const {
    if (Rules.empty()) return;
    // W3C logs write the agent's blanks as "+".
    std::string lowered = LowerCase(agent);
    std::replace(lowered.begin(), lowered.end(), '+', ' ');
    bool browserFound = false, osFound = false;
    for (const TAgentRule& rule : Rules) {
        if (rule.Kind == TAgentRuleKind::Browser ? browserFound : rule.Kind == TAgentRuleKind::OS && osFound) continue;
        if (!Matches(rule, lowered)) continue;
        if (rule.Kind == TAgentRuleKind::Robot) {
            result.Browser = NameOf(rule, lowered);
            result.OS = "Robot";
            return;
        }
        (rule.Kind == TAgentRuleKind::Browser ? result.Browser : result.OS) = NameOf(rule, lowered);
        (rule.Kind == TAgentRuleKind::Browser ? browserFound : osFound) = true;
        if (browserFound && osFound) return;
    }
}

TAgentRules& AgentRules() {
    static TAgentRules rules;
    return rules;
}
