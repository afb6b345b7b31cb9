#include "core/u_searchenginefinder.h"

#include "sources/CUtils.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace {

constexpr size_t kMaxLabels = 16;
constexpr size_t kMaxNameLength = 100;

bool OnlyNumberChars(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == ',' || c == '.'; });
}

// The rules that turn a found phrase down: cache look-ups, hexadecimal ids, numbers.
bool RejectedPhrase(const std::string& phrase) {
    if (phrase.starts_with("cache:")) return true;
    if (IsHex32(phrase)) return true;
    if (phrase.find(' ') == std::string::npos && OnlyNumberChars(std::string_view(phrase).substr(0, 4))) return true;
    return TrimView(phrase).empty() || OnlyNumberChars(phrase);
}

} // namespace

void TSEFinder::Load(const std::string& fileName) {
    std::vector<std::string> names;
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        names.push_back(line);
    }
    SetQueryNames(std::move(names));
}

void TSEFinder::SetQueryNames(std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(), LessNoCase);
    names.erase(std::unique(names.begin(), names.end(),
                            [](const std::string& a, const std::string& b) { return SameText(a, b); }),
                names.end());
    QueryNames = std::move(names);
}

bool TSEFinder::IsQueryName(std::string_view name) const {
    const auto it = std::lower_bound(QueryNames.begin(), QueryNames.end(), name,
                                     [](const std::string& a, std::string_view b) { return LessNoCase(a, b); });
    return it != QueryNames.end() && SameText(*it, name);
}

void TSEFinder::LoadHosts(const std::string& fileName) {
    HostPatterns.clear();
    HostProblems.clear();
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view text = TrimView(line);
        if (text.empty() || text.front() == '#') continue;
        const size_t blank = text.find_first_of(" \t");
        const std::string_view pattern = text.substr(0, blank);
        const std::string_view engine =
            blank == std::string_view::npos ? std::string_view() : TrimView(text.substr(blank));
        if (!AddHost(pattern, engine))
            HostProblems.push_back(fileName + " line " + std::to_string(number) + ": \"" + std::string(text) +
                                   "\" is not \"host-pattern  Engine name\"; left out");
    }
}

bool TSEFinder::AddHost(std::string_view pattern, std::string_view engine) {
    if (engine.empty() || engine.size() > kMaxNameLength) return false;
    if (pattern.size() > 4 && SameText(pattern.substr(0, 4), "www.")) pattern.remove_prefix(4);
    THostPattern added;
    bool literal = false;
    for (size_t start = 0;;) {
        const size_t dot = pattern.find('.', start);
        const std::string_view label = pattern.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (label.empty()) return false;
        literal = literal || label != "*";
        added.Labels.push_back(LowerCase(label));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    // A pattern of wildcards only would take every referrer for a search.
    if (!literal || added.Labels.size() > kMaxLabels) return false;
    added.Engine.assign(engine);
    HostPatterns.push_back(std::move(added));
    return true;
}

const std::string* TSEFinder::KnownEngine(std::string_view referrer) const {
    size_t prefix = 0;
    HasHttpScheme(referrer, &prefix);
    std::string_view host = referrer.substr(prefix);
    host = host.substr(0, host.find_first_of("/?#"));
    if (const size_t at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
    host = host.substr(0, host.find(':'));
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    if (host.size() > 4 && SameText(host.substr(0, 4), "www.")) host.remove_prefix(4);
    // Split without copies: this runs for the first hit of every visit.
    std::array<std::string_view, kMaxLabels> labels;
    size_t count = 0;
    for (size_t start = 0;;) {
        if (count == kMaxLabels) return nullptr;
        const size_t dot = host.find('.', start);
        labels[count] = host.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (labels[count++].empty()) return nullptr;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    for (const THostPattern& pattern : HostPatterns) {
        if (pattern.Labels.size() != count) continue;
        size_t i = 0;
        while (i < count && (pattern.Labels[i] == "*" || SameText(pattern.Labels[i], labels[i])))
            ++i;
        if (i == count) return &pattern.Engine;
    }
    return nullptr;
}

bool TSEFinder::Find(std::string_view referrer) {
    const std::string* known = HostPatterns.empty() ? nullptr : KnownEngine(referrer);
    const std::string query = UrlQuery(referrer);
    if (query.empty() && !known) return false;
    std::string phrase;
    bool found = false;
    for (int i = 0; !query.empty(); ++i) {
        if (QueryParamAt(query, i).empty()) break;
        const std::string name = QueryParamName(query, i);
        if (name.empty()) break;
        if (IsQueryName(name)) {
            phrase = QueryParamValue(query, i);
            for (char& c : phrase)
                if (c == '+') c = ' ';
            phrase = LowerCase(TrimView(phrase));
            found = true;
            break;
        }
    }
    const bool kept = found && !RejectedPhrase(phrase) && phrase.size() <= kMaxNameLength;
    if (known) {
        // A known engine counts without a phrase too: searches over HTTPS send none.
        Engine = *known;
        if (kept) {
            Phrase = std::move(phrase);
        } else {
            Phrase.clear();
        }
        return true;
    }
    if (!kept) return false;
    const std::string engine = Trim(CapitalizeFirst(StripWww(UrlHost(referrer))));
    if (engine.size() > kMaxNameLength) return false;
    Engine = engine;
    Phrase = phrase;
    return true;
}

TSEFinder& SearchFinder() {
    static TSEFinder finder;
    return finder;
}
