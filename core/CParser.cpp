#include "core/CParser.h"

#include "sources/CUtils.h"

#include <cstring>

bool TCParser::SetFormat(std::string_view format) {
    FormatText.assign(format);
    Separators.clear();
    Codes.clear();
    std::string_view rest = format;
    while (!rest.empty()) {
        if (Separators.size() == kMaxParts) return false;
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
    return true;
}

void TCParser::SetLine(std::string_view line) {
    LineText.assign(line);
    const char* const text = LineText.data();
    const size_t length = LineText.size();
    IsValid = true;
    size_t p = 0; // 0-based; a further separator is looked for while two characters remain
    size_t i = 0;
    unsigned char current = 0;
    const size_t separatorCount = Separators.size();
    while (p + 1 < length && i < separatorCount) {
        const std::string& s = Separators[i];
        size_t j = p;
        if (!s.empty()) {
            const char first = s[0];
            const size_t sl = s.size();
            const char* hit = nullptr;
            const char* from = text + p;
            const char* const end = text + length;
            while (from + sl <= end) {
                hit = static_cast<const char*>(std::memchr(from, first, static_cast<size_t>(end - from) - sl + 1));
                if (!hit || sl == 1 || std::memcmp(hit + 1, s.data() + 1, sl - 1) == 0) break;
                from = hit + 1;
                hit = nullptr;
            }
            if (!hit) break;
            j = static_cast<size_t>(hit - text);
        }
        Fields[current].assign(text + p, j - p);
        p = j + s.size();
        current = i < Codes.size() ? static_cast<unsigned char>(Codes[i]) : 0;
        ++i;
    }
    if (p < length) Fields[current].assign(text + p, length - p);
    if (i < separatorCount) IsValid = false;
}

int64_t TCParser::FieldInt(char code) const {
    return StrToInt64Def(Field(code), 0);
}
