#include "sources/CUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr TCharSet kSpace(" ");

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Calls f(token) for each token of text split at the separators; stops when f returns false.
template <typename F> void ForEachToken(std::string_view text, const TCharSet& separators, F&& f) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && separators.Contains(text[i]))
            ++i;
        if (i >= n) break;
        const size_t start = i;
        while (i < n && !separators.Contains(text[i]))
            ++i;
        if (!f(text.substr(start, i - start))) return;
    }
}

void CollapseDoubleSpaces(std::string& s) {
    size_t w = 0;
    for (size_t r = 0; r < s.size(); ++r) {
        if (s[r] == ' ' && w > 0 && s[w - 1] == ' ') continue;
        s[w++] = s[r];
    }
    s.resize(w);
}

} // namespace

std::string LowerCase(std::string_view text) {
    std::string s(text);
    LowerCaseInPlace(s);
    return s;
}

std::string UpperCase(std::string_view text) {
    std::string s(text);
    UpperCaseInPlace(s);
    return s;
}

void LowerCaseInPlace(std::string& text) {
    for (char& c : text)
        c = ToLowerAscii(c);
}

void UpperCaseInPlace(std::string& text) {
    for (char& c : text)
        c = ToUpperAscii(c);
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
    return true;
}

bool LessNoCase(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return ToLowerAscii(x) < ToLowerAscii(y); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimView(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

std::string Trim(std::string_view text) {
    return std::string(TrimView(text));
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (;;) {
        const size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::string CleanWhitespace(std::string_view text, int options) {
    if (options & kCleanAll) options |= kCleanCrLf | kCleanTabs | kCleanDoubleSpace;
    std::string s = (options & kCleanCrLf) ? ReplaceAll(text, "\r\n", "") : std::string(text);
    if (options & kCleanTabs)
        for (char& c : s)
            if (c == '\t') c = ' ';
    if (options & kCleanDoubleSpace) CollapseDoubleSpaces(s);
    return s;
}

std::string FilterChars(std::string_view text, const TCharSet& set, bool removeSet, char replacement) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        const bool member = set.Contains(c);
        if (member != removeSet) {
            s += c;
        } else if (replacement != '\0') {
            s += replacement;
        }
    }
    CollapseDoubleSpaces(s);
    return Trim(s);
}

std::string_view TokenView(std::string_view text, const TCharSet& separators, int n) {
    std::string_view found;
    if (n < 0) return found;
    int index = 0;
    ForEachToken(text, separators, [&](std::string_view token) {
        if (index++ == n) {
            found = token;
            return false;
        }
        return true;
    });
    return found;
}

std::string TokenAt(std::string_view text, int n) {
    static constexpr TCharSet kSeparator("/");
    return std::string(TokenView(text, kSeparator, n));
}

int CountTokens(std::string_view text, int minLength) {
    int count = 0;
    ForEachToken(text, kSpace, [&](std::string_view token) {
        if (static_cast<int>(token.size()) >= minLength) ++count;
        return true;
    });
    return count;
}

std::string CapitalizeFirst(std::string_view text) {
    std::string s(text);
    if (!s.empty()) s[0] = ToUpperAscii(s[0]);
    return s;
}

std::string AlnumOnly(std::string_view text) {
    std::string s;
    for (char c : text)
        if (IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) s += c;
    return s.empty() ? "Undefined" : s;
}

bool IsNumeric(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!IsDigit(c) && c != ',' && c != '.') return false;
    return true;
}

bool IsHex(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (HexDigit(c) < 0) return false;
    return true;
}

bool IsHex32(std::string_view text) {
    return text.size() == 32 && IsHex(text);
}

int64_t HexToInt(std::string_view text) {
    if (!IsHex(text)) return 0;
    uint64_t value = 0;
    for (char c : text)
        value = value * 16 + static_cast<uint64_t>(HexDigit(c));
    return static_cast<int64_t>(value);
}

bool TryParseInt64(std::string_view text, int64_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size()) return false;
    uint64_t magnitude = 0;
    // Eighteen digits cannot overflow: most numbers of a log line skip the division the
    // limit test costs.
    const bool mayOverflow = text.size() - i > 18;
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return false;
        const auto digit = static_cast<uint64_t>(text[i] - '0');
        if (mayOverflow && magnitude > (limit - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

int64_t StrToInt64Def(std::string_view text, int64_t fallback) {
    int64_t value = 0;
    return TryParseInt64(TrimView(text), value) ? value : fallback;
}

int64_t RoundToSignificant(int64_t value, int digits, bool rounding) {
    if (digits < 1) digits = 1;
    if (digits > 18) return value;
    __int128 limit = 1;
    for (int i = 0; i < digits; ++i)
        limit *= 10;
    __int128 step = 1;
    while (step * limit <= value)
        step *= 10;
    const __int128 quotient = value / step;
    if (!rounding) return static_cast<int64_t>(quotient * step);
    const __int128 remainder = value % step;
    __int128 rounded = quotient;
    if (remainder * 2 > step || (remainder * 2 == step && (quotient & 1))) rounded += 1;
    return static_cast<int64_t>(rounded * step);
}

std::string FormatSize(int unit, int64_t bytes) {
    static const char* const kUnits[5] = {"B", "KB", "MB", "GB", "TB"};
    // Counts of 1024 TB and more stay in TB: there is no larger unit.
    if (unit < 0) {
        unit = 0;
        while (unit < 4 && std::fabs(static_cast<double>(bytes)) >= std::ldexp(1.0, 10 * (unit + 1)))
            ++unit;
    } else if (unit > 4) {
        unit = 4;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%2.2f %s", static_cast<double>(bytes) / std::ldexp(1.0, 10 * unit), kUnits[unit]);
    return buf;
}

int TimeToSeconds(std::string_view text) {
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':') return -1;
    int seconds =
        static_cast<int>(StrToInt64Def(text.substr(0, 2), 0) * 3600 + StrToInt64Def(text.substr(3, 2), 0) * 60);
    if (text.size() == 8 && text[5] == ':') seconds += static_cast<int>(StrToInt64Def(text.substr(6, 2), 0));
    return seconds;
}

TDateTime DateFromParts(std::string_view year, std::string_view month, std::string_view day) {
    int64_t m = 13;
    if (month.size() == 3) {
        const std::string lower = LowerCase(month);
        static const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                "jul", "aug", "sep", "oct", "nov", "dec"};
        for (int i = 0; i < 12; ++i)
            if (lower == kMonths[i]) m = i + 1;
    } else {
        m = StrToInt64Def(month, 0);
    }
    int64_t y = StrToInt64Def(year, 0);
    if (y >= 0 && y <= 90) {
        y += 2000;
    } else if (y >= 91 && y <= 99) {
        y += 1900;
    }
    const int64_t d = StrToInt64Def(day, 0);
    TDateTime result = 0;
    if (y > 9999 || m > 12 || d > 31 || y < 1 || m < 1 || d < 1) return 0;
    return TryEncodeDate(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d), result) ? result : 0;
}

TDateTime ParseLooseDate(std::string_view text, bool allowFuture) {
    std::string year, month, day;
    int seconds = -1;
    ForEachToken(text, kSpace, [&](std::string_view token) {
        switch (token.size()) {
        case 1:
            if (day.empty()) {
                day = token;
            } else if (month.empty()) {
                month = token;
            }
            break;
        case 2:
            if (day.empty()) {
                day = token;
            } else if (month.empty()) {
                month = token;
            } else if (year.empty()) {
                year = token;
            }
            break;
        case 3:
            if (month.size() == 2) {
                if (year.empty()) {
                    year = month;
                } else if (day.empty()) {
                    day = month;
                }
            }
            month = token;
            break;
        case 4:
            if (year.size() == 2) {
                if (month.empty()) {
                    month = year;
                } else if (day.empty()) {
                    day = year;
                }
            }
            year = token;
            break;
        case 5:
            seconds = TimeToSeconds(token);
            break;
        case 8:
            if (TimeToSeconds(token) != -1) {
                seconds = TimeToSeconds(token);
            } else if (IsNumeric(token)) {
                year = token.substr(0, 4);
                month = token.substr(4, 2);
                day = token.substr(6, 2);
            }
            break;
        case 14:
            if (IsNumeric(token)) {
                year = token.substr(0, 4);
                month = token.substr(4, 2);
                day = token.substr(6, 2);
                seconds = static_cast<int>(StrToInt64Def(token.substr(8, 2), 0) * 3600 +
                                           StrToInt64Def(token.substr(10, 2), 0) * 60 +
                                           StrToInt64Def(token.substr(12, 2), 0));
            }
            break;
        default:
            break;
        }
        return true;
    });
    const TDateParts today = DecodeDateTime(Now());
    if (year.empty()) year = std::to_string(today.Year);
    if (month.empty()) month = std::to_string(today.Month);
    if (day.empty()) day = std::to_string(today.Day);
    if (seconds < 0) seconds = 0;
    TDateTime result = DateFromParts(year, month, day) + seconds / kSecondsPerDay;
    if (!allowFuture && result > Now()) {
        const TDateParts p = DecodeDateTime(result);
        TDateTime earlier = 0;
        if (!TryEncodeDate(p.Year - 1, p.Month, p.Day, earlier)) TryEncodeDate(p.Year - 1, p.Month, p.Day - 1, earlier);
        result = earlier;
    }
    return result;
}

uint32_t IPToInt(std::string_view text) {
    // Exactly four dot-separated decimal parts of at most 255 each.
    uint32_t result = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        uint32_t part = 0;
        size_t digits = 0;
        while (i < text.size() && IsDigit(text[i])) {
            part = part * 10 + static_cast<uint32_t>(text[i] - '0');
            if (part > 255) return 0;
            ++i;
            ++digits;
        }
        if (digits == 0) return 0;
        result = result << 8 | part;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.') return 0;
            ++i;
        }
    }
    return i == text.size() ? result : 0;
}

std::string IntToIP(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", value >> 24, (value >> 16) & 255, (value >> 8) & 255, value & 255);
    return buf;
}

void UrlDecodeInPlace(std::string& text) {
    size_t pos = text.find('%');
    while (pos != std::string::npos) {
        // The escape at pos: "%" and up to two characters; every occurrence of it from
        // here on is replaced at once, which may form new escapes for the next round.
        const size_t seqLen = std::min<size_t>(3, text.size() - pos);
        char seq[3] = {text[pos], seqLen > 1 ? text[pos + 1] : '\0', seqLen > 2 ? text[pos + 2] : '\0'};
        int value = 0;
        if (seqLen == 3 && HexDigit(seq[1]) >= 0 && HexDigit(seq[2]) >= 0)
            value = HexDigit(seq[1]) * 16 + HexDigit(seq[2]);
        const std::string_view pattern(seq, seqLen);
        size_t w = pos, r = pos;
        const size_t n = text.size();
        while (r < n) {
            if (text[r] == '%' && r + seqLen <= n && std::string_view(text.data() + r, seqLen) == pattern) {
                if (value >= 32) text[w++] = static_cast<char>(value);
                r += seqLen;
            } else {
                text[w++] = text[r++];
            }
        }
        text.resize(w);
        pos = text.find('%', pos);
    }
}

std::string UrlDecode(std::string_view text) {
    std::string s(text);
    UrlDecodeInPlace(s);
    return s;
}

bool HasHttpScheme(std::string_view text, size_t* prefixLength) {
    size_t len = 0;
    if (StartsWithNoCase(text, "http://")) {
        len = 7;
    } else if (StartsWithNoCase(text, "https://")) {
        len = 8;
    }
    if (prefixLength) *prefixLength = len;
    return len != 0;
}

std::string UrlDirectory(std::string_view url) {
    const size_t last = url.rfind('/');
    std::string_view part = last == std::string_view::npos ? std::string_view() : url.substr(0, last + 1);
    size_t prefix = 0;
    if (HasHttpScheme(part, &prefix)) {
        part.remove_prefix(prefix);
        const size_t slash = part.find('/');
        part = slash == std::string_view::npos ? std::string_view() : part.substr(slash);
    }
    return part.empty() ? "/" : std::string(part);
}

std::string UrlHost(std::string_view url) {
    size_t prefix = 0;
    HasHttpScheme(url, &prefix);
    url.remove_prefix(prefix);
    return std::string(url.substr(0, url.find('/')));
}

std::string UrlQuery(std::string_view url) {
    const size_t q = url.find('?');
    return q == std::string_view::npos ? std::string() : std::string(url.substr(q + 1));
}

std::string StripWww(std::string_view host) {
    if (host.substr(0, 4) == "www.") host.remove_prefix(4);
    return std::string(host);
}

std::string QueryParamAt(std::string_view query, int n) {
    static constexpr TCharSet kAmpersand("&");
    return std::string(TokenView(query, kAmpersand, n));
}

std::string QueryParamName(std::string_view query, int n) {
    const std::string token = QueryParamAt(query, n);
    const size_t eq = token.find('=');
    return eq == std::string::npos ? token : Trim(std::string_view(token).substr(0, eq));
}

std::string QueryParamValue(std::string_view query, int n) {
    const std::string token = QueryParamAt(query, n);
    const size_t eq = token.find('=');
    return eq == std::string::npos ? std::string() : Trim(std::string_view(token).substr(eq + 1));
}

namespace {

// Index of the "]" closing the set that opens at mask[open]; npos when there is none.
size_t SetEnd(std::string_view mask, size_t open) {
    size_t i = open + 1;
    if (i < mask.size() && mask[i] == '!') ++i;
    return mask.find(']', i);
}

// Whether a mask is well formed: every set closed, no range without a first
// character, at most 30 "*".
bool MaskWellFormed(std::string_view mask) {
    int stars = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == '*') {
            if (++stars > 30) return false;
        } else if (mask[i] == '[') {
            const size_t end = SetEnd(mask, i);
            if (end == std::string_view::npos) return false;
            size_t first = i + 1;
            if (mask[first] == '!') ++first;
            if (first < end && mask[first] == '-') return false;
            i = end;
        }
    }
    return true;
}

// The set mask[open..end] (brackets included) holds c. A "-" before "]" is literal.
bool SetHolds(std::string_view mask, size_t open, size_t end, char c) {
    size_t i = open + 1;
    bool negate = false;
    if (mask[i] == '!') {
        negate = true;
        ++i;
    }
    const char lc = ToLowerAscii(c);
    bool found = false;
    while (i < end && !found) {
        const char low = ToLowerAscii(mask[i]);
        if (i + 2 < end && mask[i + 1] == '-') {
            const char high = ToLowerAscii(mask[i + 2]);
            found = (lc >= low && lc <= high) || (c >= mask[i] && c <= mask[i + 2]);
            i += 3;
        } else {
            found = lc == low;
            ++i;
        }
    }
    return found != negate;
}

} // namespace

bool MatchesMask(std::string_view text, std::string_view mask) {
    if (!MaskWellFormed(mask)) return false;
    size_t t = 0, m = 0;
    size_t starMask = std::string_view::npos, starText = 0;
    while (t < text.size()) {
        if (m < mask.size()) {
            const char c = mask[m];
            if (c == '*') {
                starMask = m++;
                starText = t;
                continue;
            }
            if (c == '?') {
                ++m;
                ++t;
                continue;
            }
            if (c == '[') {
                const size_t end = SetEnd(mask, m);
                if (SetHolds(mask, m, end, text[t])) {
                    m = end + 1;
                    ++t;
                    continue;
                }
            } else if (ToLowerAscii(c) == ToLowerAscii(text[t])) {
                ++m;
                ++t;
                continue;
            }
        }
        // Mismatch: let the last "*" swallow one more character, if there was one.
        if (starMask == std::string_view::npos) return false;
        m = starMask + 1;
        t = ++starText;
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

bool MatchesAnyMask(std::string_view name, const std::vector<std::string>& masks) {
    if (name.empty()) return false;
    for (const std::string& mask : masks)
        if (MatchesMask(name, TrimView(mask))) return true;
    return false;
}

namespace {

void AppendReference(std::string& out, uint32_t codePoint) {
    // Characters that XML 1.0 cannot carry, even as references, become U+FFFD.
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "&#%u;", IsXmlChar(codePoint) ? codePoint : 0xFFFDu);
    out.append(buf, static_cast<size_t>(n));
}

} // namespace

size_t DecodeUtf8(std::string_view s, size_t i, uint32_t& codePoint) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        codePoint = b0;
        return 1;
    }
    size_t len;
    uint32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    codePoint = cp;
    return len;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsXmlChar(uint32_t code) {
    if (code < 0x20) return code == 0x09 || code == 0x0A || code == 0x0D;
    return code != 0xFFFE && code != 0xFFFF;
}

std::string ValidUtf8(std::string_view text, bool xmlOnly, std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t code = 0;
        size_t length = DecodeUtf8(text, i, code);
        if (length == 0) {
            code = static_cast<unsigned char>(text[i]); // Latin-1
            length = 1;
            if (!xmlOnly || IsXmlChar(code)) {
                AppendUtf8(out, code);
            } else {
                out.append(replacement);
            }
        } else if (!xmlOnly || IsXmlChar(code)) {
            out.append(text.substr(i, length));
        } else {
            out.append(replacement);
        }
        i += length;
    }
    return out;
}

std::string CrLfTagLines(std::string_view serialised) {
    const std::string split = ReplaceAll(serialised, "><", ">\n<");
    std::string out;
    out.reserve(split.size() + split.size() / 16);
    size_t start = 0;
    while (start < split.size()) {
        size_t end = split.find('\n', start);
        if (end == std::string::npos) end = split.size();
        out.append(split, start, end - start);
        out += "\r\n";
        start = end + 1;
    }
    return out;
}

std::string XmlEscape(std::string_view text) {
    static constexpr TCharSet kPlain(" %(),-.0123456789:ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (kPlain.Contains(c)) {
            out += c;
            ++i;
            continue;
        }
        if (c == '<') {
            const std::string_view rest = text.substr(i);
            if (rest.starts_with("<ARROW/>") || rest.starts_with("<URL>") || rest.starts_with("</URL>")) {
                const size_t close = rest.find('>');
                out.append(rest.substr(0, close + 1));
                i += close + 1;
                continue;
            }
        }
        uint32_t codePoint = static_cast<unsigned char>(c);
        size_t len = 1;
        if (codePoint >= 0x80) {
            const size_t utf8 = DecodeUtf8(text, i, codePoint);
            if (utf8 != 0) {
                len = utf8;
            } else {
                codePoint = static_cast<unsigned char>(c);
            }
        }
        AppendReference(out, codePoint);
        i += len;
    }
    return out;
}
