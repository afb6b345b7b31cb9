#pragma once
// Machine-readable statistics: every table of a compiled report document, all of its rows
// (before the "others" cut of the pages), as one JSON document or one CSV file per table.
// The texts are made while the document exists and written once the report is whole.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TXMLOutput;

// Version of the JSON document's layout ("schema" in it); raised when a field changes meaning
// or goes away, not when one is added.
inline constexpr int kStatsSchemaVersion = 1;

// Where the statistics go: a JSON file, a folder for the CSV files; "" for none.
struct TStatsExportTargets {
    std::string JsonFile;
    std::string CsvFolder;
    bool Empty() const { return JsonFile.empty() && CsvFolder.empty(); }
};

// The JSON document of every table with rows (UTF-8; invalid bytes become U+FFFD).
std::string StatsJson(const TXMLOutput& document);
// One CSV text (RFC 4180, header row, CRLF line ends) per table with rows, with its file name.
std::vector<std::pair<std::string, std::string>> StatsCsvFiles(const TXMLOutput& document);

class TStatsExport {
public:
    explicit TStatsExport(TStatsExportTargets targets) : Targets(std::move(targets)) {}

    // Makes the texts of the targets from the written document.
    void Take(const TXMLOutput& document);
    // Writes the texts taken, each through a temporary file renamed over the old one: a file
    // is either whole or left as it was. False at the first failure, with the file and the
    // reason in *error.
    bool Write(std::string* error) const;

private:
    TStatsExportTargets Targets;
    std::string Json;
    std::vector<std::pair<std::string, std::string>> CsvFiles;
};
