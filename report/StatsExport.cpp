// Every table of the report document as JSON or CSV: figures as the pages show them (the
// table's column set), rows in page order, the rows the pages fold into "others" included.

#include "report/StatsExport.h"

#include "report/u_xmloutput.h"
#include "sources/FileUtils.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace {

// The figures each column set of a table shows after its key, in page order.
enum TFigure { fgHits, fgVisits, fgBytes, fgText, fgShare };
constexpr std::string_view kFigureNames[] = {"hits", "visits", "bytes", "text", "share"};
struct TFigureSet {
    TFigure Figures[3];
    int Count;
};
constexpr TFigureSet kColumnFigures[] = {
    {{fgHits}, 1},                    // 0
    {{fgVisits}, 1},                  // 1
    {{fgBytes}, 1},                   // 2
    {{fgHits, fgVisits, fgBytes}, 3}, // 3
    {{fgVisits, fgShare}, 2},         // 4
    {{fgBytes, fgShare}, 2},          // 5
    {{fgHits, fgShare}, 2},           // 6
    {{fgText}, 1},                    // 7
    {{}, 0},                          // 8 key only
};

const TFigureSet& FiguresOf(const TXMLTable& table) {
    return kColumnFigures[std::min<size_t>(table.Columns, std::size(kColumnFigures) - 1)];
}

bool IsGroupName(std::string_view name) {
    return name.size() >= 2 && name[0] == '{' && name[1] == '{';
}

std::string_view KindOf(const TXMLEntry& row) {
    return row.IsHeader ? "header" : IsGroupName(row.Name) ? "group" : "row";
}

std::string_view NameOf(const TXMLEntry& row) {
    return IsGroupName(row.Name) ? std::string_view(row.Name).substr(2) : std::string_view(row.Name);
}

// Length of the valid UTF-8 sequence at text[i]; 0 when it is not one.
size_t Utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    const unsigned char second = byte(i + 1);
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

// text as valid UTF-8 appended to out, each invalid byte as U+FFFD; escape is called for ASCII.
template <typename TEscape> void AppendUtf8(std::string& out, std::string_view text, TEscape escape) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else if (length == 1) {
            escape(out, text[i]);
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    AppendUtf8(out, text, [](std::string& o, char c) {
        if (c == '"' || c == '\\') {
            o += '\\';
            o += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
            o += code;
        } else {
            o += c;
        }
    });
    out += '"';
}

void AppendCsvField(std::string& out, std::string_view text) {
    const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos;
    if (quoted) out += '"';
    AppendUtf8(out, text, [](std::string& o, char c) {
        if (c == '"') o += '"';
        o += c;
    });
    if (quoted) out += '"';
}

// The shortest text that reads back as the same double.
void AppendNumber(std::string& out, double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

// The figure of a row as JSON or CSV text (the text figure quoted by the caller's rules).
void AppendFigure(std::string& out, const TXMLEntry& row, TFigure figure, bool json) {
    switch (figure) {
    case fgHits:
        out += std::to_string(row.Hits);
        break;
    case fgVisits:
        out += std::to_string(row.Visits);
        break;
    case fgBytes:
        out += std::to_string(row.Bytes);
        break;
    case fgText:
        json ? AppendJsonString(out, row.Text) : AppendCsvField(out, row.Text);
        break;
    case fgShare:
        AppendNumber(out, row.Share);
        break;
    }
}

// Calls visit(section, subsection, table, id) for every table with rows, in page order.
template <typename TVisit> void ForEachTable(const TXMLOutput& document, TVisit visit) {
    for (const auto& section : document.Sections)
        for (const auto& sub : section->SubSections)
            for (size_t t = 0; t < sub->Tables.size(); ++t) {
                const TXMLTable& table = *sub->Tables[t];
                if (table.Rows.empty()) continue;
                visit(*section, *sub, table,
                      section->Id + "-" + std::to_string(sub->Index) + "-" + std::to_string(t + 1));
            }
}

} // namespace

std::string StatsJson(const TXMLOutput& document) {
    std::string out = "{\n\"schema\": " + std::to_string(kStatsSchemaVersion) + ",\n\"generatedOn\": ";
    AppendJsonString(out, document.GeneratedOn);
    out += ",\n\"dateRange\": ";
    AppendJsonString(out, document.DateRange);
    out += ",\n\"tables\": [";
    bool firstTable = true;
    ForEachTable(document, [&](const TXMLSection& section, const TXMLSubSection& sub, const TXMLTable& table,
                               const std::string& id) {
        out += firstTable ? "\n{" : ",\n{";
        firstTable = false;
        out += "\"id\": ";
        AppendJsonString(out, id);
        out += ", \"section\": ";
        AppendJsonString(out, section.Title);
        out += ", \"subsection\": ";
        AppendJsonString(out, sub.Title);
        out += ", \"title\": ";
        AppendJsonString(out, table.Title);
        out += ", \"key\": ";
        AppendJsonString(out, table.KeyCaption);
        const TFigureSet& figures = FiguresOf(table);
        out += ", \"columns\": [";
        for (int i = 0; i < figures.Count; ++i) {
            if (i > 0) out += ", ";
            AppendJsonString(out, kFigureNames[figures.Figures[i]]);
        }
        out += "], \"total\": {\"hits\": " + std::to_string(table.TotalHits) +
               ", \"visits\": " + std::to_string(table.TotalVisits) +
               ", \"bytes\": " + std::to_string(table.TotalBytes) + "},\n \"rows\": [";
        bool firstRow = true;
        for (const auto& row : table.Rows) {
            out += firstRow ? "\n  {\"kind\": \"" : ",\n  {\"kind\": \"";
            firstRow = false;
            out += KindOf(*row);
            out += "\", \"name\": ";
            AppendJsonString(out, NameOf(*row));
            for (int i = 0; i < figures.Count; ++i) {
                out += ", \"";
                out += kFigureNames[figures.Figures[i]];
                out += "\": ";
                AppendFigure(out, *row, figures.Figures[i], true);
            }
            out += '}';
        }
        out += "]}";
    });
    out += "\n]\n}\n";
    return out;
}

std::vector<std::pair<std::string, std::string>> StatsCsvFiles(const TXMLOutput& document) {
    std::vector<std::pair<std::string, std::string>> files;
    ForEachTable(
        document, [&](const TXMLSection&, const TXMLSubSection&, const TXMLTable& table, const std::string& id) {
            std::string name;
            for (const char c : id)
                name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ? c : '_';
            const TFigureSet& figures = FiguresOf(table);
            std::string text = "kind,name";
            for (int i = 0; i < figures.Count; ++i)
                text.append(",").append(kFigureNames[figures.Figures[i]]);
            text += "\r\n";
            for (const auto& row : table.Rows) {
                text += KindOf(*row);
                text += ',';
                AppendCsvField(text, NameOf(*row));
                for (int i = 0; i < figures.Count; ++i) {
                    text += ',';
                    AppendFigure(text, *row, figures.Figures[i], false);
                }
                text += "\r\n";
            }
            files.emplace_back(name + ".csv", std::move(text));
        });
    return files;
}

void TStatsExport::Take(const TXMLOutput& document) {
    if (!Targets.JsonFile.empty()) Json = StatsJson(document);
    if (!Targets.CsvFolder.empty()) CsvFiles = StatsCsvFiles(document);
}

bool TStatsExport::Write(std::string* error) const {
    if (!Targets.JsonFile.empty() && !ReplaceFileContents(Targets.JsonFile, Json, error)) return false;
    if (Targets.CsvFolder.empty()) return true;
    const std::string folder = EnsureTrailingSeparator(Targets.CsvFolder);
    ForceFolders(folder);
    if (!DirectoryExists(folder)) {
        if (error) *error = "the folder " + folder + " cannot be made";
        return false;
    }
    for (const auto& [name, text] : CsvFiles)
        if (!ReplaceFileContents(folder + name, text, error)) return false;
    return true;
}
