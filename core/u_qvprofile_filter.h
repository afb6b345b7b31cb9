#pragma once
// Filters: a default decision ("Include all" / "Exclude all") plus ordered lines, each of
// which includes or excludes whole visits, or single hits, that have (or lack) a property.
// A filter is a record of the "filters" store; CurrentFilter is the one working object.

#include "core/u_qvprofile_group.h"
#include "profile/u_cvprofile.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class THit;
class THitPool;
class TWebVisit;

enum TFilterBasicType : uint8_t { fbIncludeAll = 0, fbExcludeAll = 1 };
enum TFilterLineType : uint8_t { flInclude = 0, flExclude = 1 };

// The property a line tests (FLField).
enum TFilterField : uint8_t {
    ffFile = 0,
    ffHost = 1,
    ffEntryPage = 2,
    ffExitPage = 3,
    ffReferrer = 4,
    ffStatus = 5,
    ffWeekday = 6,
    ffHour = 7,
    ffSearchPhrase = 8,
    ffUserAgent = 9,
    ffHitCount = 10,
    ffCountry = 11,
};

struct TFilterFieldInfo {
    std::string_view Ending; // how a line's description ends
    bool PerHit;             // the property can be tested on single hits
};

// Indexed by FLField.
inline constexpr std::array<TFilterFieldInfo, 12> kFilterFields = {{
    {"request specific file(s).", true},
    {"have a specific hostname/IP.", false},
    {"have a specific entry page.", false},
    {"have a specific exit page.", false},
    {"come from a specific referer.", false},
    {"have a specific status code.", true},
    {"occur during a specific weekday.", false},
    {"occur during a specific hour.", false},
    {"have a specific search phrase.", false},
    {"use a specific user agent.", false},
    {"have a specific hit count.", false},
    {"come from a specific country.", false},
}};

class TFilterLine {
public:
    uint8_t FLType = flInclude;
    uint8_t FLField = ffFile;
    bool FLNegative = false;
    bool FLHitsFilter = false;
    std::vector<std::string> FLStrParam; // masks, or a group name between "{" and "}"
    int32_t FLIntParam = 0;              // weekday / hour bits, or the hit count
    int32_t FLPreDefined = 0;            // the wizard's pre-defined choice; not evaluated

    // The group of that name from the group store, loaded on first use and kept by the
    // line; nullptr when it cannot be loaded (the load is tried again on the next call).
    const TQVGroup* Group(std::string_view name);

    // Copies type, field, negative, hits-only, parameters and integer parameter (not
    // FLPreDefined) and forgets the cached groups.
    void AssignRule(const TFilterLine& other);
    // Empties the same six fields.
    void ClearRule();

private:
    struct TCachedGroup {
        std::string Name;
        std::unique_ptr<TQVGroup> Group;
    };
    std::vector<TCachedGroup> Groups;
};

// What ApplyFilter removed.
struct TFilterOutcome {
    int RemovedHits = 0;
    int EmptiedVisits = 0; // visits that had hits and have none left
};

class TQVFilter : public TCVProfile {
public:
    static constexpr int32_t kNoEdit = -2;
    static constexpr int32_t kNewLine = -1;

    TQVFilter();

    uint8_t FilterBasicType = fbIncludeAll;
    std::string FilterComment;
    std::vector<std::unique_ptr<TFilterLine>> Lines;
    TFilterLine EditLine;        // the line being made or edited
    int32_t EditIndex = kNoEdit; // kNoEdit, kNewLine, or the index of the line being edited

    void ReadValues() override;
    void WriteValues() override;
    void SetDefaults() override;
    bool IsOwnKey(std::string_view key) const override;

    void NewLine();
    // False when line index does not exist.
    bool EditExisting(int index);
    // Writes EditLine into a new line or the edited one and ends the edit; false (edit
    // ended, nothing written) when no edit is in progress or the edited line is gone.
    bool CommitEdit();
    void CancelEdit() { EditIndex = kNoEdit; }
    // False when line index does not exist. An edit of that line ends.
    bool DeleteLine(int index);
    // nullptr when line index does not exist.
    TFilterLine* Line(int index);
    int LineCount() const { return static_cast<int>(Lines.size()); }

    // For example "Exclude visits that did use a specific user agent."
    static std::string Describe(const TFilterLine& line);
    // Name, comment, basic type and one description per line, separated by line breaks.
    std::string SummaryText() const;

    // Decides every visit and hit by the lines, in order, then removes (and returns to
    // the pool) every excluded hit. Visits left without hits stay in the caller's list
    // for it to free. A filter without lines changes nothing.
    TFilterOutcome ApplyFilter(const std::vector<TWebVisit*>& visits, THitPool& pool);

    // False for an empty text; else whether a parameter (mask or group) matches it.
    bool LineMatches(TFilterLine& line, std::string_view text);
    // Only files and status codes can be tested per hit; other properties never match.
    bool HitMatches(const THit& hit, TFilterLine& line);
    // A visit without hits never matches.
    bool VisitMatches(const TWebVisit& visit, TFilterLine& line);

private:
    // "Path?Query" (or the path alone) in Work.
    std::string_view RequestText(const THit& hit);

    std::string Work;
};

// The one filter object, used for editing and by the report job.
TQVFilter& CurrentFilter();
