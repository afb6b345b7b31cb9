// Fuzz target: the text helpers that read log text: percent-decoding, wildcard masks, loose
// dates, dates from parts, IPv4 addresses, XML escaping, URL pieces.

#include "sources/CUtils.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\n');
    const std::string_view first = input.substr(0, split);
    const std::string_view second = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const std::string decoded = UrlDecode(input);
    if (decoded.find('%') != std::string::npos) __builtin_trap(); // decoding ends with no "%" left
    MatchesMask(second, first);
    ParseLooseDate(input, (size & 1) != 0);
    DateFromParts(first, second, input.substr(0, 2));
    IPToInt(input);
    XmlEscape(input);
    ValidUtf8(input, true, "?");
    UrlDirectory(input);
    UrlHost(input);
    QueryParamValue(input, static_cast<int>(size % 7));
    TimeToSeconds(first);
    return 0;
}
