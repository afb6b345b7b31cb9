#include "core/u_searchenginefinder.h"

#include "sources/CUtils.h"

#include <algorithm>
#include <fstream>

namespace {

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

bool TSEFinder::Find(std::string_view referrer) {
    const std::string query = UrlQuery(referrer);
    if (query.empty()) return false;
    std::string phrase;
    bool found = false;
    for (int i = 0;; ++i) {
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
    if (!found || RejectedPhrase(phrase)) return false;
    const std::string engine = Trim(CapitalizeFirst(StripWww(UrlHost(referrer))));
    if (engine.size() > 100 || phrase.size() > 100) return false;
    Engine = engine;
    Phrase = phrase;
    return true;
}

TSEFinder& SearchFinder() {
    static TSEFinder finder;
    return finder;
}
