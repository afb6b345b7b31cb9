#pragma once
// Small stateless helpers the whole program shares: text cleaning, tokens, numbers,
// loose dates, IPv4 addresses, URL pieces, wildcard masks, XML escaping, byte sizes.
// Paths and folders are in sources/FileUtils.h. Every function is thread-safe and
// reports failure by an empty or zero result. Letter case maps ASCII letters only.

#include "sources/DateTime.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A set of byte values, one bit each.
class TCharSet {
public:
    constexpr TCharSet() = default;
    constexpr explicit TCharSet(std::string_view chars) {
        for (char c : chars)
            Add(c);
    }
    constexpr void Add(char c) {
        const auto b = static_cast<unsigned char>(c);
        Bits[b >> 6] |= uint64_t{1} << (b & 63);
    }
    constexpr void Remove(char c) {
        const auto b = static_cast<unsigned char>(c);
        Bits[b >> 6] &= ~(uint64_t{1} << (b & 63));
    }
    constexpr bool Contains(char c) const {
        const auto b = static_cast<unsigned char>(c);
        return (Bits[b >> 6] >> (b & 63)) & 1;
    }
    constexpr void Clear() { Bits = {}; }

private:
    std::array<uint64_t, 4> Bits{};
};

// ASCII case mapping.
constexpr char ToLowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
constexpr char ToUpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);
void LowerCaseInPlace(std::string& text);
void UpperCaseInPlace(std::string& text);
bool SameText(std::string_view a, std::string_view b);
// a == b, short texts compared in place: for the codes, statuses and date parts of the line
// loop, a call to memcmp costs more than the comparison.
inline bool SameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.size() > 16) return a == b;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}
// a sorts before b when letter case is ignored.
bool LessNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Characters up to code 32 removed at both ends.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);
// Every occurrence of `from` replaced by `to`, in one left-to-right pass.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Options of CleanWhitespace.
constexpr int kCleanCrLf = 1;        // removes every CR LF pair
constexpr int kCleanTabs = 2;        // turns tabs into spaces
constexpr int kCleanDoubleSpace = 4; // collapses double spaces, repeatedly
constexpr int kCleanAll = 8;         // all three
std::string CleanWhitespace(std::string_view text, int options);
// Keeps (removeSet false) or removes (true) the members of `set`; a removed character
// becomes `replacement` unless that is '\0'. Double spaces are then collapsed and the
// result trimmed.
std::string FilterChars(std::string_view text, const TCharSet& set, bool removeSet, char replacement);

// Token n (from 0) of a path split at the path separator; empty when there is none.
std::string TokenAt(std::string_view text, int n);
// Token n of text split at the separators (runs count as one, leading ones skipped).
std::string_view TokenView(std::string_view text, const TCharSet& separators, int n);
// Space-separated tokens of at least minLength characters (0 counts all).
int CountTokens(std::string_view text, int minLength);

inline std::string IfThen(bool flag, std::string_view a, std::string_view b) {
    return std::string(flag ? a : b);
}
std::string CapitalizeFirst(std::string_view text);
// Only 0-9, A-Z, a-z; "Undefined" when nothing is left.
std::string AlnumOnly(std::string_view text);
// Not empty, and only digits, "," and ".".
bool IsNumeric(std::string_view text);
bool IsHex(std::string_view text);
bool IsHex32(std::string_view text);
// The hexadecimal value; 0 when empty or any character is not a hex digit.
int64_t HexToInt(std::string_view text);
// The decimal value of text (optional sign, digits only); false when it is not a
// number or does not fit.
bool TryParseInt64(std::string_view text, int64_t& value);
// Decimal value with blanks around it removed, or `fallback` when it is not a number.
int64_t StrToInt64Def(std::string_view text, int64_t fallback);

template <typename T> constexpr bool HasFlags(T value, T mask) {
    return (value & mask) == mask;
}
template <typename T> constexpr void SetFlags(T& variable, T mask, bool on) {
    variable = on ? static_cast<T>(variable | mask) : static_cast<T>(variable & ~mask);
}
template <typename T> constexpr T WithFlags(T value, T mask, bool on) {
    SetFlags(value, mask, on);
    return value;
}

// value truncated (or, with rounding, rounded half to even) to `digits` significant digits.
int64_t RoundToSignificant(int64_t value, int digits, bool rounding);
// "%2.2f %s" of bytes in the unit (-1 picks the largest unit with a value of at least
// 1). Units stop at TB: larger counts are shown as thousands of TB.
std::string FormatSize(int unit, int64_t bytes);

// "hh:nn" or "hh:nn:ss" as seconds; -1 for any other shape.
int TimeToSeconds(std::string_view text);
// The calendar date from texts (month as a number or "jan".."dec", two-digit years
// 0-90 = 2000-2090, 91-99 = 1991-1999) at midnight; 0 when impossible.
TDateTime DateFromParts(std::string_view year, std::string_view month, std::string_view day);
// Date and time of a listing line ("Mar 4 2002", "Mar  4 10:30", "20020304103000"...);
// missing parts are today's. Without allowFuture a result after now moves one year back.
TDateTime ParseLooseDate(std::string_view text, bool allowFuture);

// a.b.c.d as a 32-bit value; 0 for anything that is not four decimal bytes.
uint32_t IPToInt(std::string_view text);
std::string IntToIP(uint32_t value);

// Percent-decoding, repeated until no "%" is left; codes below 32 and malformed
// escapes are removed.
std::string UrlDecode(std::string_view text);
void UrlDecodeInPlace(std::string& text);
// True when text starts with "http://" or "https://" in any letter case; sets the
// length of that prefix.
bool HasHttpScheme(std::string_view text, size_t* prefixLength = nullptr);
// Path part of url up to its last "/" (host and scheme removed); "/" when empty.
std::string UrlDirectory(std::string_view url);
// url without a leading scheme, cut before its first "/".
std::string UrlHost(std::string_view url);
std::string UrlQuery(std::string_view url);
std::string StripWww(std::string_view host);
std::string QueryParamAt(std::string_view query, int n);
std::string QueryParamName(std::string_view query, int n);
std::string QueryParamValue(std::string_view query, int n);

// Wildcard match without regard to letter case: "*" any run, "?" one character,
// "[a-z]" a set, "[!...]" its complement. A malformed mask ("[" without "]", a range
// without its first character, more than 30 "*") matches nothing. Allocates nothing.
bool MatchesMask(std::string_view text, std::string_view mask);
// False for an empty name; else true when name matches one of the (trimmed) masks.
bool MatchesAnyMask(std::string_view name, const std::vector<std::string>& masks);

// The length of the valid UTF-8 sequence at text[i] (overlong forms, surrogates and values
// past U+10FFFF are not valid) with its code point; 0 when there is none.
size_t DecodeUtf8(std::string_view text, size_t i, uint32_t& codePoint);
void AppendUtf8(std::string& out, uint32_t codePoint);
// Whether XML 1.0 can carry the character (tab, line ends and U+0020 on, but U+FFFE/U+FFFF).
bool IsXmlChar(uint32_t codePoint);
// text as valid UTF-8: a byte that starts no valid sequence is taken as Latin-1. With
// xmlOnly, characters XML cannot carry become replacement (dropped when it is empty).
std::string ValidUtf8(std::string_view text, bool xmlOnly = false, std::string_view replacement = {});
// A serialised XML document as the program's files store it: every "><" split onto two
// lines and every line ended by CR LF.
std::string CrLfTagLines(std::string_view serialised);

// Character data for the report XML: plain characters as they are, "<ARROW/>",
// "<URL>" and "</URL>" unchanged, everything else as "&#N;" (a UTF-8 sequence as its
// code point, any other byte as its Latin-1 value).
std::string XmlEscape(std::string_view text);
