// Fuzz target: a format string (one of the real ones, or taken from the input) and lines
// through the line parser and the log entry.

#include "core/CParser.h"
#include "core/LogEntry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {
const char* const kFormats[] = {
    "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"",
    "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b",
    "%H,%u,%m/%d/%y,%h:%n:%s,%x,%x,%x,%x,%x,%b,%c,%x,%M,%f",
    "%y-%m-%d %h:%n:%s %H %M %f %q %c %b %a %r",
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    TCParser parser;
    const unsigned choice = data[0] % 5;
    if (choice < 4) {
        parser.SetFormat(kFormats[choice]);
    } else {
        // The format is the input up to its first line break.
        const size_t nl = input.find('\n');
        parser.SetFormat(input.substr(0, nl));
        input = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
    }
    TLogEntry entry;
    const TLogEntryOptions options{(data[0] & 8) != 0, data[0] % 3, (data[0] % 25) - 12, 37000};
    while (!input.empty()) {
        const size_t nl = input.find('\n');
        parser.SetLine(input.substr(0, nl));
        entry.AssignFrom(parser, options);
        if (nl == std::string_view::npos) break;
        input.remove_prefix(nl + 1);
    }
    return 0;
}
