#include "sources/W3CFormat.h"

#include "core/CParser.h"
#include "sources/CUtils.h"
#include "sources/LogReader.h"

const char* const kW3CDateFormat = "#Date: %y-%m-%d %x";

namespace {

struct TW3CColumn {
    const char* Name;
    const char* Format;
};

constexpr TW3CColumn kW3CColumns[] = {
    {"date", "%y-%m-%d"}, {"time", "%h:%n:%s"},  {"c-ip", "%H"},           {"cs-username", "%u"},
    {"cs-method", "%M"},  {"cs-uri-stem", "%f"}, {"cs-uri-query", "%q"},   {"sc-status", "%c"},
    {"sc-bytes", "%b"},   {"cs(Referer)", "%r"}, {"cs(User-Agent)", "%a"},
};

// Candidate formats, tried in this order.
constexpr const char* kCandidateFormats[] = {
    "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"",
    "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b %x",
    "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b",
    "%H,%u,%m/%d/%y,%h:%n:%s,%x,%x,%x,%x,%x,%b,%c,%x,%M,%f",
};

constexpr std::string_view kServerSignature = "#Software: Microsoft Internet Information";

} // namespace

std::span<const char* const> CandidateLogFormats() {
    return kCandidateFormats;
}

std::string W3CFieldsToFormat(std::string_view line) {
    static constexpr TCharSet kSpace(" ");
    std::string format;
    for (int i = 1;; ++i) {
        const std::string_view column = TokenView(line, kSpace, i);
        if (column.empty()) break;
        const char* code = "%x";
        for (const TW3CColumn& c : kW3CColumns)
            if (column == c.Name) code = c.Format;
        if (!format.empty()) format += ' ';
        format += code;
    }
    return format;
}

void DetectLogFormat(TLogFileReader* reader, bool& caseSensitive, std::string& format) {
    format.clear();
    if (!reader) return;
    reader->ReadLine();
    const std::string line = reader->CurrentLine;
    if (line.empty()) return;
    if (std::string_view(line).substr(0, kServerSignature.size()) == kServerSignature) {
        // That server writes #Software, #Version, #Date, #Fields: the fourth line names the columns.
        caseSensitive = false;
        for (int i = 0; i < 3; ++i)
            reader->ReadLine();
        format = W3CFieldsToFormat(reader->CurrentLine);
        return;
    }
    caseSensitive = true;
    for (const char* candidate : kCandidateFormats) {
        TCParser parser;
        parser.SetFormat(candidate);
        parser.SetLine(line);
        if (parser.Valid()) {
            format = candidate;
            return;
        }
    }
}

bool ApplyW3CDirective(TCParser& parser, std::string_view line) {
    if (line.empty() || line[0] != '#') return false;
    if (line.compare(0, 5, "#Date") == 0) {
        parser.SetFormat(kW3CDateFormat);
        parser.SetLine(line);
    } else if (line.compare(0, 7, "#Fields") == 0) {
        parser.SetFormat(W3CFieldsToFormat(line));
    }
    return true;
}
