#pragma once
// The report document: sections of subsections of tables, written as "TOC.xml" and one
// XML file per section. Tables own their mechanics: totals, sorting, truncation into an
// "others" row, shares, total and average rows, and feeding their rows to their charts.

#include "report/u_chartsvg.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TChartQueue;

class TXMLOutput;
struct _xmlNode;

// Value kinds of a series link.
constexpr uint8_t kValueHits = 0;
constexpr uint8_t kValueVisits = 1;
constexpr uint8_t kValueBytes = 2;

// Sort modes of a table.
constexpr uint8_t kSortHits = 0;
constexpr uint8_t kSortVisits = 1;
constexpr uint8_t kSortBytes = 2;
constexpr uint8_t kSortAuto = 3;
constexpr uint8_t kSortNone = 4;

// Truncation methods.
constexpr uint8_t kTruncNone = 0;
constexpr uint8_t kTruncTopN = 1;    // rows 0..N stay
constexpr uint8_t kTruncMinHits = 2; // rows with fewer hits go
constexpr uint8_t kTruncPercent = 3; // rows below a percentage of the total go
constexpr uint8_t kTruncInherit = 4; // the output's method and value

// One table row. A Name starting with "{{" stands for the URL group named by the rest.
struct TXMLEntry {
    std::string Name;
    std::string Text;
    int32_t Hits = 0;
    int32_t Visits = 0;
    int64_t Bytes = 0;
    double Share = 0; // fraction of the table total, set when written
    bool IsHeader = false;
};

// A chart series that receives one point per written row.
struct TSeriesLink {
    TChartSerie* Serie = nullptr; // not owned
    uint8_t ValueKind = kValueHits;
    bool UseText = false; // label the point with the row's Text instead of its Name
};

class TXMLTable {
public:
    explicit TXMLTable(TXMLOutput* output) : Output(output) {}
    TXMLTable(const TXMLTable&) = delete;
    TXMLTable& operator=(const TXMLTable&) = delete;

    std::string Title;
    int32_t TotalHits = 0;
    int32_t TotalVisits = 0;
    int64_t TotalBytes = 0;
    std::vector<std::unique_ptr<TXMLEntry>> Rows;
    std::vector<TSeriesLink> SeriesLinks;
    std::string KeyCaption;
    std::string Anchor;
    uint8_t Columns = 0; // column set 0..8
    bool ShowHeader = true;
    bool ShowTotal = false;
    bool ShowAverage = false;
    uint8_t SortMode = kSortAuto;
    // Name without extension; shared with the chart queue that draws it.
    std::vector<std::pair<std::string, std::shared_ptr<TChartSVG>>> Charts;
    uint8_t TruncMethod = kTruncInherit;
    double TruncValue = 0;
    TXMLOutput* Output; // not owned

    // A row counted into the totals; nothing for a blank name, or for no figures and no text.
    TXMLEntry* AddRow(std::string_view name, int32_t hits, int32_t visits, int64_t bytes, std::string_view text = {});
    // A caption row inside the table, not counted; nothing for a blank name.
    TXMLEntry* AddHeaderRow(std::string_view name, int32_t hits, int32_t visits, int64_t bytes);
    // A chart shown with the table, written to name + ".xml" or ".png" (name uses "/").
    TChartSVG* AddChart(std::string_view name);
    void LinkSeries(TChartSerie* serie, uint8_t valueKind, bool useText);
    TXMLEntry* RowAt(int index) const;
    void Clear();

    // Appends the table's elements to parent and writes its charts; nothing without rows.
    // Sorts the rows and sets their shares. Throws EReportWriteError.
    void Write(_xmlNode* parent);

private:
    void ComputeShares();
    void SortRows();
    void FeedSeries(const TXMLEntry& row);
    void WriteCharts();
};

class TXMLSubSection {
public:
    TXMLSubSection(TXMLOutput* output, std::string sectionId, int32_t index)
        : SectionId(std::move(sectionId)), Index(index), Output(output) {}

    std::string Title;
    std::string SectionId;
    int32_t Index; // 1-based position in its section
    std::vector<std::unique_ptr<TXMLTable>> Tables;
    TXMLOutput* Output; // not owned

    TXMLTable* AddTable();
    // Rows of all tables, header rows included; counted once, then remembered.
    int32_t RowCount() const;

private:
    mutable int32_t CachedRowCount = 0;
    mutable bool RowCountValid = false;
};

class TXMLSection {
public:
    explicit TXMLSection(TXMLOutput* output) : Output(output) {}

    std::string Title;
    std::string Id; // base name of the section's files
    std::vector<std::unique_ptr<TXMLSubSection>> SubSections;
    TXMLOutput* Output; // not owned
    bool InToc = true;

    TXMLSubSection* AddSubSection();
    int32_t RowCount() const;
};

class TXMLOutput {
public:
    TXMLOutput() = default;
    TXMLOutput(const TXMLOutput&) = delete;
    TXMLOutput& operator=(const TXMLOutput&) = delete;

    // Relative file names (the contents file, sections, charts) are taken inside this
    // folder (ending in "/"); empty means the current directory.
    std::string Folder;
    std::string TocFileName;
    std::string TitlePrefix;
    std::string GeneratedOn;
    std::string DateRange;
    std::string HitsCaption = "Hits";
    std::string VisitsCaption = "Visits";
    std::string BytesCaption = "Bandwith";
    std::string TotalFormat = "Total (%s)";
    std::string AverageCaption = "Average";
    std::string OthersFormat = "Others (%s)";
    std::string ShareCaption = "% of Total";
    std::vector<std::unique_ptr<TXMLSection>> Sections;
    int32_t RowBytesUnit = -1;   // -1 automatic, 0 B ... 4 TB
    int32_t TotalBytesUnit = -1; // the same for total rows
    uint8_t TruncMethod = kTruncNone;
    double TruncValue = 0;
    bool VectorCharts = false;         // descriptions for SVG, else PNG pictures
    TChartQueue* ChartQueue = nullptr; // draws the PNG pictures; none: drawn in place
    std::string Language;              // the report language as a "lang" code ("en"); empty when unknown

    TXMLSection* AddSection();
    // Writes the contents file and the file of every section with rows; a section with
    // nothing to show gets no file (and so no page). Throws EReportWriteError on the
    // first file that cannot be written; files written before it stay.
    void Write();
    // name inside Folder, or name itself when it is absolute.
    std::string PathOf(std::string_view name) const;
};
