#include "core/CParser.h"

#include "sources/CUtils.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void TCParser::SettleFields(const std::vector<char>& codes, uint32_t line) {
    for (const char code : codes) {
        const auto c = static_cast<unsigned char>(code);
        if (Captured[c] == 0 || Captured[c] == line) continue;
        if (line == 0 && (c == 'y' || c == 'm' || c == 'd')) {
            Kept[c].assign(Fields[c]);
            Fields[c] = Kept[c];
        } else {
            Fields[c] = {};
        }
        Captured[c] = 0;
    }
}

bool TCParser::SetFormat(std::string_view format) {
    // The old format's fields are cleared, but for the date: a W3C "#Date" directive gives
    // it to the lines after it.
    SettleFields(Codes, 0);
    FormatText.assign(format);
    Separators.clear();
    Codes.clear();
    std::string_view rest = format;
    while (!rest.empty()) {
        if (Separators.size() == kMaxParts) {
            CountCodes();
            return false;
        }
        const size_t percent = rest.find('%');
        // Without a further "%" the remaining text is the trailing separator.
        Separators.emplace_back(rest.substr(0, percent));
        if (percent == std::string_view::npos) break;
        rest.remove_prefix(percent + 1);
        if (!rest.empty()) {
            Codes.push_back(rest.front());
            rest.remove_prefix(1);
        }
    }
    CountCodes();
    return true;
}

void TCParser::CountCodes() {
    LongestSeparator = 0;
    for (const std::string& s : Separators)
        LongestSeparator = std::max(LongestSeparator, s.size());
    CodeCounts.fill(0);
    for (const char code : Codes) {
        uint8_t& count = CodeCounts[static_cast<unsigned char>(code)];
        if (count < 255) ++count;
    }
}

namespace {

// Where separator (not empty) first starts in [from, end); nullptr when it does not. Most
// fields are a few characters long: the first characters are scanned in place, which costs
// less than a call, and memchr takes over for long fields. In place means sixteen at once
// where the processor has SSE2 and sixteen bytes lie before the last place, else one by one.
inline const char* FindSeparator(const char* from, const char* end, const std::string& separator) {
    const size_t length = separator.size();
    if (static_cast<size_t>(end - from) < length) return nullptr;
    const char* const last = end - length; // the last place it may start
    const char first = separator[0];
    constexpr std::ptrdiff_t kScannedInPlace = 16;
#if defined(__SSE2__)
    const __m128i firsts = _mm_set1_epi8(first);
#endif
    for (;;) {
        const char* hit = nullptr;
        const char* const scanned = last - from < kScannedInPlace ? last + 1 : from + kScannedInPlace;
#if defined(__SSE2__)
        if (scanned - from == kScannedInPlace) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, firsts)));
            if (found != 0) hit = from + __builtin_ctz(found);
        } else
#endif
            for (const char* c = from; c < scanned; ++c)
                if (*c == first) {
                    hit = c;
                    break;
                }
        if (!hit && scanned <= last)
            hit = static_cast<const char*>(std::memchr(scanned, first, static_cast<size_t>(last - scanned) + 1));
        if (!hit) return nullptr;
        size_t k = 1;
        while (k < length && hit[k] == separator[k])
            ++k;
        if (k == length) return hit;
        if (hit == last) return nullptr;
        from = hit + 1;
    }
}

} // namespace

template <class TField> size_t TCParser::Cut(std::string_view line, TField&& field) const {
    const char* const text = line.data();
    const size_t length = line.size();
    size_t p = 0; // 0-based; a further separator is looked for while two characters remain
    size_t i = 0;
    unsigned char current = 0;
    const size_t separatorCount = Separators.size();
    while (p + 1 < length && i < separatorCount) {
        const std::string& s = Separators[i];
        size_t j = p;
        if (!s.empty()) {
            const char* const hit = FindSeparator(text + p, text + length, s);
            if (!hit) break;
            j = static_cast<size_t>(hit - text);
        }
        if (!field(current, std::string_view(text + p, j - p))) return i;
        p = j + s.size();
        current = i < Codes.size() ? static_cast<unsigned char>(Codes[i]) : 0;
        ++i;
    }
    if (p < length) field(current, std::string_view(text + p, length - p));
    return i;
}

std::string_view TCParser::CutField(std::string_view line, char code) const {
    const auto wanted = static_cast<unsigned char>(code);
    std::string_view found;
    Cut(line, [&](unsigned char current, std::string_view text) {
        if (current != wanted) return true;
        found = text;
        return false;
    });
    return found;
}

void TCParser::SetLine(std::string_view line) {
    LineText.assign(line);
    // 0 marks a kept field: the count skips it when it wraps after 2^32 lines.
    if (++LineNumber == 0) LineNumber = 1;
    const uint32_t number = LineNumber;
    const size_t matched = Cut(LineText, [&](unsigned char code, std::string_view text) {
        Fields[code] = text;
        Captured[code] = number;
        return true;
    });
    IsValid = matched == Separators.size();
    // A code the line did not reach is empty (in a valid line, the last one when nothing
    // follows its separator): no field may show an earlier line's text.
    SettleFields(Codes, number);
    if (Captured[0] != 0 && Captured[0] != number) {
        Fields[0] = {};
        Captured[0] = 0;
    }
}

TDateTime TLineDate::Of(const TCParser& parser) {
    const std::string_view y = parser.Field('y'), m = parser.Field('m'), d = parser.Field('d');
    const std::string_view key = Key;
    if (key.size() != y.size() + m.size() + d.size() || !SameBytes(key.substr(0, y.size()), y) ||
        !SameBytes(key.substr(y.size(), m.size()), m) || !SameBytes(key.substr(y.size() + m.size()), d)) {
        Key.assign(y).append(m).append(d);
        Date = DateFromParts(y, m, d);
    }
    return Date;
}

int64_t TCParser::FieldInt(char code) const {
    return StrToInt64Def(Field(code), 0);
}
