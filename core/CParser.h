#pragma once
// The line parser of the format-code language: a format string is literal text with
// "%"-codes; SetFormat splits it into separators and codes, SetLine cuts a line into
// one captured text per code. Fields keep their text until a later line captures them.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TCParser {
public:
    // At most this many codes and separators; the rest of a longer format is dropped.
    static constexpr int kMaxParts = 256;

    // Stores and splits the format; false when it held more than kMaxParts parts and
    // the excess was dropped.
    bool SetFormat(std::string_view format);
    // Stores the line and cuts it into fields; Valid tells whether every separator matched.
    void SetLine(std::string_view line);

    const std::string& Field(char code) const { return Fields[static_cast<unsigned char>(code)]; }
    // The field without surrounding blanks as a signed decimal; 0 when it is not a number.
    int64_t FieldInt(char code) const;

    const std::string& Format() const { return FormatText; }
    const std::string& Line() const { return LineText; }
    bool Valid() const { return IsValid; }
    int SeparatorCount() const { return static_cast<int>(Separators.size()); }
    int CodeCount() const { return static_cast<int>(Codes.size()); }
    // 1-based, as the format reads.
    const std::string& Separator(int index) const { return Separators[static_cast<size_t>(index - 1)]; }
    char Code(int index) const { return Codes[static_cast<size_t>(index - 1)]; }

private:
    std::string FormatText;
    std::string LineText;
    std::array<std::string, 256> Fields;
    std::vector<std::string> Separators;
    std::vector<char> Codes;
    bool IsValid = false;
};
