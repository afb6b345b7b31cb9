#pragma once
// Extended (W3C) log directives turned into format strings of the line parser, and the
// detection of a log's format from its first lines.

#include <span>
#include <string>
#include <string_view>

class TCParser;
class TLogFileReader;

// The format that reads the date of a "#Date" directive into the y, m and d fields.
extern const char* const kW3CDateFormat;

// The format string for a "#Fields" directive line: each known column becomes its
// codes, any other column "%x"; "" when the directive names no column.
std::string W3CFieldsToFormat(std::string_view line);

// A log line that starts with "#" is a directive, not a hit: "#Date" and "#Fields" set the
// parser up for the lines after it, others change nothing. False for any other line.
bool ApplyW3CDirective(TCParser& parser, std::string_view line);

// Reads the first line(s) of the reader's file set and sets format to the first candidate
// that fits ("" when none does). caseSensitive becomes false for the W3C server log and
// true for the others; it is left alone when the set has no first line.
void DetectLogFormat(TLogFileReader* reader, bool& caseSensitive, std::string& format);

// The formats that DetectLogFormat tries, in its order: the usual choices of a log format.
std::span<const char* const> CandidateLogFormats();
