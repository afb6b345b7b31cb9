#pragma once
// A URL group: a named record of wildcard masks, the statistic it applies to (its field
// of effect), a grouping type and the name shown in reports. Groups exist once for all
// profiles; a profile enables them by name.

#include "profile/u_cvprofile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The statistic a group applies to.
enum TGroupField : uint8_t {
    gfFilename = 0,
    gfReferringDomain = 1,
    gfBrowser = 2,
    gfOS = 3,
    gfSearchPhrase = 4,
    gfHost = 5,
};

// Grouping types: a group row's counts are the sums of its members, or their average.
enum TGroupingType : uint8_t { gtTotal = 0, gtAverage = 1 };

class TQVGroup : public TCVProfile {
public:
    TQVGroup();

    uint8_t GroupingType = gtTotal;
    uint8_t FieldOfEffect = gfFilename;
    std::string DisplayName;

    void ReadValues() override;
    void WriteValues() override;
    void SetDefaults() override;

    // Takes a ";"-separated text of masks; pieces are not trimmed, an empty piece is an
    // empty mask that matches only an empty text.
    void SetMembers(std::string_view text);
    // The masks as stored, each followed by ";", and split at ";".
    const std::string& MembersText() const { return Members; }
    const std::vector<std::string>& Masks() const { return MaskList; }
    // True when one of the masks matches text (letter case ignored).
    bool Matches(std::string_view text) const;

private:
    // Changed together by SetMembers alone, so that the masks always match the text.
    std::string Members;
    std::vector<std::string> MaskList;
};

// The one group object used for editing and for converting old profiles.
TQVGroup& CurrentGroup();
