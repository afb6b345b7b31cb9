#include "core/u_qvprofile_group.h"

#include "profile/u_xmlprofile.h"
#include "sources/CUtils.h"

TQVGroup::TQVGroup() : TCVProfile(std::make_unique<TXMLProfileInterface>("groups"), "new_group") {
}

void TQVGroup::SetDefaults() {
    GroupingType = gtTotal;
    FieldOfEffect = gfFilename;
    SetMembers("");
    DisplayName.clear();
}

void TQVGroup::ReadValues() {
    DisplayName = ReadString("display", DisplayName);
    GroupingType = ReadNumber("grouptype", GroupingType);
    FieldOfEffect = ReadNumber("foe", FieldOfEffect);
    SetMembers(ReadString("members", Members));
}

void TQVGroup::WriteValues() {
    WriteString("display", DisplayName);
    WriteInt("grouptype", GroupingType);
    WriteInt("foe", FieldOfEffect);
    WriteString("members", Members);
}

void TQVGroup::SetMembers(std::string_view text) {
    Members.assign(text);
    MaskList.clear();
    if (text.empty()) return;
    // "a;b;" is two masks: the text after the last ";" counts only when it is not empty.
    size_t start = 0;
    while (start < text.size()) {
        const size_t semi = text.find(';', start);
        if (semi == std::string_view::npos) {
            MaskList.emplace_back(text.substr(start));
            break;
        }
        MaskList.emplace_back(text.substr(start, semi - start));
        start = semi + 1;
    }
}

bool TQVGroup::Matches(std::string_view text) const {
    for (const std::string& mask : MaskList)
        if (MatchesMask(text, mask)) return true;
    return false;
}

TQVGroup& CurrentGroup() {
    static TQVGroup group;
    return group;
}
