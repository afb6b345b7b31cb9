#include "core/u_qvprofile_filter.h"

#include "core/Hit.h"
#include "core/WebVisit.h"
#include "profile/u_xmlprofile.h"
#include "sources/CUtils.h"
#include "sources/DateTime.h"

#include <algorithm>

namespace {

// A damaged line count must not make a load allocate without end.
constexpr int kMaxLineCount = 10000;

// The keys of one line, each with the line's index appended.
constexpr std::string_view kLineKeys[] = {"FLNegative", "FLHitsFilter", "FLType",    "FLField",
                                          "FLIntParam", "FLPreDefined", "FLStrParam"};

std::string IndexedKey(std::string_view key, size_t index) {
    std::string result(key);
    result += std::to_string(index);
    return result;
}

// "a;b;" is two parameters; each is trimmed.
void SplitParams(std::string_view text, std::vector<std::string>& params) {
    params.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t semi = text.find(';', start);
        if (semi == std::string_view::npos) semi = text.size();
        params.push_back(Trim(text.substr(start, semi - start)));
        start = semi + 1;
    }
}

bool IsCountrySeparator(char c) {
    return c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether country is one of the codes listed in the parameters ("US,CA" or one per line).
// Whole codes are compared, so "CO" is not found in "COM".
bool CountryListed(std::string_view country, const std::vector<std::string>& params) {
    if (country.empty()) return false;
    for (const std::string& param : params) {
        size_t pos = 0;
        while (pos < param.size()) {
            while (pos < param.size() && IsCountrySeparator(param[pos]))
                ++pos;
            const size_t start = pos;
            while (pos < param.size() && !IsCountrySeparator(param[pos]))
                ++pos;
            if (pos > start && SameText(std::string_view(param).substr(start, pos - start), country)) return true;
        }
    }
    return false;
}

bool BitSet(int32_t bits, int bit) {
    return bit >= 0 && bit < 32 && ((static_cast<uint32_t>(bits) >> bit) & 1u) != 0;
}

} // namespace

// ---- TFilterLine ----

const TQVGroup* TFilterLine::Group(std::string_view name) {
    for (const TCachedGroup& cached : Groups)
        if (cached.Name == name) return cached.Group.get();
    auto group = std::make_unique<TQVGroup>();
    if (!group->Load(name)) return nullptr;
    Groups.push_back({std::string(name), std::move(group)});
    return Groups.back().Group.get();
}

void TFilterLine::AssignRule(const TFilterLine& other) {
    if (&other == this) return;
    FLType = other.FLType;
    FLField = other.FLField;
    FLNegative = other.FLNegative;
    FLHitsFilter = other.FLHitsFilter;
    FLStrParam = other.FLStrParam;
    FLIntParam = other.FLIntParam;
    // The parameters may name other groups now, or the groups may have been edited.
    Groups.clear();
}

void TFilterLine::ClearRule() {
    FLType = flInclude;
    FLField = ffFile;
    FLNegative = false;
    FLHitsFilter = false;
    FLStrParam.clear();
    FLIntParam = 0;
    Groups.clear();
}

// ---- TQVFilter: record ----

TQVFilter::TQVFilter() : TCVProfile(std::make_unique<TXMLProfileInterface>("filters"), "new_filter") {
}

void TQVFilter::SetDefaults() {
    FilterBasicType = fbIncludeAll;
    FilterComment.clear();
    Lines.clear();
    EditLine.ClearRule();
    EditLine.FLPreDefined = 0;
    EditIndex = kNoEdit;
}

void TQVFilter::ReadValues() {
    FilterBasicType = ReadNumber("FilterBasicType", FilterBasicType);
    FilterComment = ReadString("FilterComment", FilterComment);
    const int count = ReadNumber("LineCount", 0, 0, kMaxLineCount);
    Lines.reserve(static_cast<size_t>(count));
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
        auto line = std::make_unique<TFilterLine>();
        line->FLNegative = ReadBool(IndexedKey("FLNegative", i), false);
        line->FLHitsFilter = ReadBool(IndexedKey("FLHitsFilter", i), false);
        line->FLType = ReadNumber<uint8_t>(IndexedKey("FLType", i), 0);
        line->FLField = ReadNumber<uint8_t>(IndexedKey("FLField", i), 0);
        line->FLIntParam = ReadNumber<int32_t>(IndexedKey("FLIntParam", i), 0);
        // Kept so that the next save writes it back unchanged.
        line->FLPreDefined = ReadNumber<int32_t>(IndexedKey("FLPreDefined", i), 0);
        SplitParams(ReadString(IndexedKey("FLStrParam", i), ""), line->FLStrParam);
        Lines.push_back(std::move(line));
    }
}

bool TQVFilter::IsOwnKey(std::string_view key) const {
    return std::any_of(std::begin(kLineKeys), std::end(kLineKeys),
                       [&](std::string_view prefix) { return IsIndexedKey(key, prefix); });
}

void TQVFilter::WriteValues() {
    WriteInt("FilterBasicType", FilterBasicType);
    WriteString("FilterComment", FilterComment);
    WriteInt("LineCount", LineCount());
    std::string params;
    for (size_t i = 0; i < Lines.size(); ++i) {
        const TFilterLine& line = *Lines[i];
        WriteBool(IndexedKey("FLNegative", i), line.FLNegative);
        WriteBool(IndexedKey("FLHitsFilter", i), line.FLHitsFilter);
        WriteInt(IndexedKey("FLType", i), line.FLType);
        WriteInt(IndexedKey("FLField", i), line.FLField);
        WriteInt(IndexedKey("FLIntParam", i), line.FLIntParam);
        WriteInt(IndexedKey("FLPreDefined", i), line.FLPreDefined);
        params.clear();
        for (const std::string& param : line.FLStrParam) {
            params += param;
            params += ';';
        }
        WriteString(IndexedKey("FLStrParam", i), params);
    }
}

// ---- TQVFilter: editing ----

void TQVFilter::NewLine() {
    EditLine.ClearRule();
    EditIndex = kNewLine;
}

bool TQVFilter::EditExisting(int index) {
    const TFilterLine* line = Line(index);
    if (line == nullptr) return false;
    EditLine.AssignRule(*line);
    EditIndex = index;
    return true;
}

bool TQVFilter::CommitEdit() {
    TFilterLine* target = nullptr;
    if (EditIndex == kNewLine) {
        Lines.push_back(std::make_unique<TFilterLine>());
        target = Lines.back().get();
    } else {
        target = Line(EditIndex);
    }
    EditIndex = kNoEdit;
    if (target == nullptr) return false;
    target->AssignRule(EditLine);
    return true;
}

bool TQVFilter::DeleteLine(int index) {
    if (Line(index) == nullptr) return false;
    Lines.erase(Lines.begin() + index);
    // Keep an edit pointing at the line it started on.
    if (EditIndex == index)
        EditIndex = kNoEdit;
    else if (EditIndex > index)
        --EditIndex;
    return true;
}

TFilterLine* TQVFilter::Line(int index) {
    if (index < 0 || index >= LineCount()) return nullptr;
    return Lines[static_cast<size_t>(index)].get();
}

std::string TQVFilter::Describe(const TFilterLine& line) {
    std::string text = line.FLType == flExclude ? "Exclude " : "Include ";
    text += line.FLHitsFilter ? "hits " : "visits ";
    text += line.FLNegative ? "that didn't " : "that did ";
    if (line.FLField < kFilterFields.size()) text += kFilterFields[line.FLField].Ending;
    return text;
}

std::string TQVFilter::SummaryText() const {
    std::string text = "Filter name: " + Name;
    text += "\nComment: " + FilterComment;
    text += "\nFilter type: ";
    text += FilterBasicType == fbExcludeAll ? "Exclude all" : "Include all";
    for (const auto& line : Lines) {
        text += '\n';
        text += Describe(*line);
    }
    return text;
}

// ---- TQVFilter: evaluation ----

TFilterOutcome TQVFilter::ApplyFilter(const std::vector<TWebVisit*>& visits, THitPool& pool) {
    TFilterOutcome outcome;
    if (Lines.empty()) return outcome;
    // Each line overrides what earlier lines decided for the items it acts on.
    for (const auto& linePtr : Lines) {
        TFilterLine& line = *linePtr;
        const uint8_t decision = line.FLType == flExclude ? fsExclude : fsInclude;
        for (TWebVisit* visit : visits) {
            if (line.FLHitsFilter) {
                for (THit* hit : visit->HitList)
                    if (hit->FilterState != decision && HitMatches(*hit, line) != line.FLNegative)
                        hit->FilterState = decision;
            } else if (visit->FilterState != decision && VisitMatches(*visit, line) != line.FLNegative) {
                visit->FilterState = decision;
            }
        }
    }
    const uint8_t basic = FilterBasicType == fbExcludeAll ? fsExclude : fsInclude;
    for (TWebVisit* visit : visits) {
        const bool hadHits = visit->HitCount() > 0;
        outcome.RemovedHits += visit->RemoveExcludedHits(basic, pool);
        if (hadHits && visit->HitCount() == 0) ++outcome.EmptiedVisits;
    }
    return outcome;
}

bool TQVFilter::LineMatches(TFilterLine& line, std::string_view text) {
    if (text.empty()) return false;
    for (const std::string& param : line.FLStrParam) {
        // Trimmed here too, so that a line behaves the same before and after a reload.
        const std::string_view mask = TrimView(param);
        if (mask.size() > 2 && mask.front() == '{' && mask.back() == '}') {
            const TQVGroup* group = line.Group(mask.substr(1, mask.size() - 2));
            if (group != nullptr && group->Matches(text)) return true;
        } else if (MatchesMask(text, mask)) {
            return true;
        }
    }
    return false;
}

std::string_view TQVFilter::RequestText(const THit& hit) {
    if (hit.Query().empty()) return hit.Path();
    Work.assign(hit.Path());
    Work += '?';
    Work += hit.Query();
    return Work;
}

bool TQVFilter::HitMatches(const THit& hit, TFilterLine& line) {
    switch (line.FLField) {
    case ffFile:
        return LineMatches(line, RequestText(hit));
    case ffStatus:
        return MatchesAnyMask(hit.Status(), line.FLStrParam);
    default:
        return false;
    }
}

bool TQVFilter::VisitMatches(const TWebVisit& visit, TFilterLine& line) {
    if (visit.HitList.empty()) return false;
    switch (line.FLField) {
    case ffFile:
        for (const THit* hit : visit.HitList)
            if (LineMatches(line, RequestText(*hit))) return true;
        return false;
    case ffHost:
        return LineMatches(line, visit.IPText) || LineMatches(line, visit.HostName);
    case ffEntryPage:
        return LineMatches(line, visit.EntryPage());
    case ffExitPage:
        return LineMatches(line, visit.ExitPage());
    case ffReferrer: {
        if (LineMatches(line, visit.ReferrerDomain)) return true;
        if (visit.ReferrerQuery.empty()) return LineMatches(line, visit.Referrer);
        Work.assign(visit.Referrer);
        Work += '?';
        Work += visit.ReferrerQuery;
        return LineMatches(line, Work);
    }
    case ffStatus:
        for (const THit* hit : visit.HitList)
            if (LineMatches(line, hit->Status())) return true;
        return false;
    case ffWeekday:
        return BitSet(line.FLIntParam, DayOfWeek(visit.StartTime) - 1);
    case ffHour:
        return BitSet(line.FLIntParam, DecodeDateTime(visit.StartTime).Hour);
    case ffSearchPhrase:
        // A visit from a known engine without a phrase is still a search: a mask that takes any phrase ("*")
        // keeps it.
        if (visit.SearchPhrase.empty() && !visit.SearchEngine.empty())
            return std::any_of(line.FLStrParam.begin(), line.FLStrParam.end(), [](const std::string& param) {
                const std::string_view mask = TrimView(param);
                return !mask.empty() && mask.find_first_not_of('*') == std::string_view::npos;
            });
        return LineMatches(line, visit.SearchPhrase);
    case ffUserAgent:
        return LineMatches(line, visit.Browser) || LineMatches(line, visit.OS);
    case ffHitCount: {
        // 64-bit so that the most negative count cannot overflow.
        const int64_t n = line.FLIntParam;
        if (n > 0) return visit.HitCount() >= n;
        if (n < 0) return visit.HitCount() <= -n;
        return false;
    }
    case ffCountry:
        return CountryListed(visit.Country, line.FLStrParam);
    default:
        return false;
    }
}

TQVFilter& CurrentFilter() {
    static TQVFilter filter;
    return filter;
}
