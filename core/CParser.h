#pragma once
// The line parser of the format-code language: a format string is literal text with
// "%"-codes; SetFormat splits it into separators and codes, SetLine cuts a line into
// one captured text per code. A code a line does not capture is empty; the date alone
// outlives a change of format (a W3C "#Date" directive dates the lines after it).

#include "sources/DateTime.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TCParser;

// The date of a parsed line's y, m and d fields, converted only when their texts change
// (which is rare: a log's lines come day after day).
class TLineDate {
public:
    TDateTime Of(const TCParser& parser);
    void Clear() {
        Key.clear();
        Date = 0;
    }

private:
    std::string Key; // the y, m and d texts joined
    TDateTime Date = 0;
};

class TCParser {
public:
    // At most this many codes and separators; the rest of a longer format is dropped.
    static constexpr int kMaxParts = 256;

    // Stores and splits the format; false when it held more than kMaxParts parts and
    // the excess was dropped.
    bool SetFormat(std::string_view format);
    // Stores the line and cuts it into fields; Valid tells whether every separator matched.
    void SetLine(std::string_view line);

    // What SetLine would give the field of code, cut no further than that field and without
    // changing the fields; for a code the format has once (CodeCount(code) == 1). A view
    // of line.
    std::string_view CutField(std::string_view line, char code) const;
    int CodeCount(char code) const { return CodeCounts[static_cast<unsigned char>(code)]; }
    // A field's text: valid until the next SetLine or SetFormat.
    std::string_view Field(char code) const { return Fields[static_cast<unsigned char>(code)]; }
    // The field without surrounding blanks as a signed decimal; 0 when it is not a number.
    int64_t FieldInt(char code) const;
    const std::string& Format() const { return FormatText; }
    const std::string& Line() const { return LineText; }
    bool Valid() const { return IsValid; }
    int SeparatorCount() const { return static_cast<int>(Separators.size()); }
    // The length of the format's longest separator: a field cut alone depends on the line only
    // up to that many characters after its end.
    size_t MaxSeparatorLength() const { return LongestSeparator; }
    int CodeCount() const { return static_cast<int>(Codes.size()); }
    // 1-based, as the format reads.
    const std::string& Separator(int index) const { return Separators[static_cast<size_t>(index - 1)]; }
    char Code(int index) const { return Codes[static_cast<size_t>(index - 1)]; }

private:
    // The codes (of a format) that line did not capture become empty; with line 0 (a new
    // format) the date fields are copied into Kept instead and keep their text.
    void SettleFields(const std::vector<char>& codes, uint32_t line);
    void CountCodes();
    // Cuts line into its fields, in order, calling field(code, text) for each until it
    // returns false; the separators matched (all of them for a line that fits the format).
    template <class TField> size_t Cut(std::string_view line, TField&& field) const;

    std::string FormatText;
    std::string LineText;
    uint32_t LineNumber = 0;                   // of the current line, from 1
    std::array<std::string_view, 256> Fields{}; // into LineText, or Kept
    std::array<uint32_t, 256> Captured{};      // the line that captured each field (0: kept)
    std::array<std::string, 256> Kept;         // the date fields that outlive their format
    std::vector<std::string> Separators;
    std::vector<char> Codes;
    std::array<uint8_t, 256> CodeCounts{}; // of each code in Codes, at most 255
    size_t LongestSeparator = 0;
    bool IsValid = false;
};
