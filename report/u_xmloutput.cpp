#include "report/u_xmloutput.h"

#include "report/ChartQueue.h"
#include "sources/CUtils.h"
#include "sources/XmlHandles.h"

#include <libxml/tree.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>

namespace {

// The cells after the key cell of each column set, and the number of cells with the key.
struct TColumnSet {
    bool Hits, Visits, Bytes, Text, Share;
    int ColCount;
};
constexpr TColumnSet kColumnSets[] = {
    {true, false, false, false, false, 2},  // 0 hits
    {false, true, false, false, false, 2},  // 1 visits
    {false, false, true, false, false, 2},  // 2 bytes
    {true, true, true, false, false, 4},    // 3 hits, visits, bytes
    {false, true, false, false, true, 3},   // 4 visits, share
    {false, false, true, false, true, 3},   // 5 bytes, share
    {true, false, false, false, true, 3},   // 6 hits, share
    {false, false, false, true, false, 2},  // 7 text
    {false, false, false, false, false, 1}, // 8 key only
};

const TColumnSet& ColumnSetOf(uint8_t columns) {
    return kColumnSets[std::min<size_t>(columns, std::size(kColumnSets) - 1)];
}

// The cell texts of one row; the column set picks which are written.
struct TCells {
    std::string Hits, Visits, Bytes, Text, Share;
};

void AppendCells(xmlNode* node, const TColumnSet& set, const TCells& cells) {
    if (set.Hits) AddTextElement(node, "data", cells.Hits);
    if (set.Visits) AddTextElement(node, "data", cells.Visits);
    if (set.Bytes) AddTextElement(node, "data", cells.Bytes);
    if (set.Text) AddTextElement(node, "data", cells.Text);
    if (set.Share) AddTextElement(node, "data", cells.Share);
}

std::string Percent(double share) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f%%", share * 100);
    return text;
}

bool IsGroupName(std::string_view name) {
    return name.size() >= 2 && name[0] == '{' && name[1] == '{';
}

int32_t PointValue(const TXMLEntry& row, uint8_t kind) {
    switch (kind) {
    case kValueVisits:
        return row.Visits;
    case kValueBytes:
        // Byte counts past 2 GiB stay at the largest point value rather than wrapping.
        return static_cast<int32_t>(std::min<int64_t>(row.Bytes, std::numeric_limits<int32_t>::max()));
    default:
        return row.Hits;
    }
}

int32_t SaturatedSum(int32_t a, int32_t b) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(int64_t{a} + b, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

TXmlDocPtr NewDocument(const char* rootName, xmlNode*& root) {
    TXmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    root = xmlNewDocNode(doc.get(), nullptr, BAD_CAST rootName, nullptr);
    xmlDocSetRootElement(doc.get(), root);
    return doc;
}

void SetLanguage(xmlNode* root, const std::string& language) {
    if (!language.empty()) xmlNewProp(root, BAD_CAST "lang", BAD_CAST XmlSafeText(language).c_str());
}

} // namespace

// ---- TXMLTable

TXMLEntry* TXMLTable::AddRow(std::string_view name, int32_t hits, int32_t visits, int64_t bytes,
                             std::string_view text) {
    if (TrimView(name).empty()) return nullptr;
    if (int64_t{hits} + visits + bytes == 0 && text.empty()) return nullptr;
    auto row = std::make_unique<TXMLEntry>();
    row->Name = std::string(name);
    row->Text = std::string(text);
    row->Hits = hits;
    row->Visits = visits;
    row->Bytes = bytes;
    TotalHits = SaturatedSum(TotalHits, hits);
    TotalVisits = SaturatedSum(TotalVisits, visits);
    TotalBytes += bytes;
    Rows.push_back(std::move(row));
    return Rows.back().get();
}

TXMLEntry* TXMLTable::AddHeaderRow(std::string_view name, int32_t hits, int32_t visits, int64_t bytes) {
    if (TrimView(name).empty()) return nullptr;
    auto row = std::make_unique<TXMLEntry>();
    row->Name = std::string(name);
    row->Hits = hits;
    row->Visits = visits;
    row->Bytes = bytes;
    row->IsHeader = true;
    Rows.push_back(std::move(row));
    return Rows.back().get();
}

TChartSVG* TXMLTable::AddChart(std::string_view name) {
    Charts.emplace_back(std::string(name), std::make_shared<TChartSVG>());
    return Charts.back().second.get();
}

void TXMLTable::LinkSeries(TChartSerie* serie, uint8_t valueKind, bool useText) {
    SeriesLinks.push_back({serie, valueKind, useText});
}

TXMLEntry* TXMLTable::RowAt(int index) const {
    return index >= 0 && index < static_cast<int>(Rows.size()) ? Rows[static_cast<size_t>(index)].get() : nullptr;
}

void TXMLTable::Clear() {
    Rows.clear();
    SeriesLinks.clear(); // before the charts whose series they point to
    Charts.clear();
    TotalHits = TotalVisits = 0;
    TotalBytes = 0;
}

void TXMLTable::ComputeShares() {
    int64_t total = 0;
    auto figure = [this](const TXMLEntry& row) -> int64_t {
        return Columns == 6 ? row.Hits : Columns == 4 ? row.Visits : row.Bytes;
    };
    if (Columns == 6) total = TotalHits;
    if (Columns == 4) total = TotalVisits;
    if (Columns == 5) total = TotalBytes;
    if (total <= 0) return;
    for (auto& row : Rows)
        row->Share = static_cast<double>(figure(*row)) / static_cast<double>(total);
}

void TXMLTable::SortRows() {
    uint8_t mode = SortMode;
    if (mode == kSortAuto) {
        switch (Columns) {
        case 0:
        case 6:
            mode = kSortHits;
            break;
        case 1:
        case 3:
        case 4:
            mode = kSortVisits;
            break;
        case 2:
        case 5:
            mode = kSortBytes;
            break;
        default:
            mode = kSortNone;
        }
    }
    using TRowPtr = std::unique_ptr<TXMLEntry>;
    switch (mode) {
    case kSortHits:
        std::stable_sort(Rows.begin(), Rows.end(),
                         [](const TRowPtr& a, const TRowPtr& b) { return a->Hits > b->Hits; });
        break;
    case kSortVisits:
        std::stable_sort(Rows.begin(), Rows.end(), [](const TRowPtr& a, const TRowPtr& b) {
            return a->Visits != b->Visits ? a->Visits > b->Visits : a->Hits > b->Hits;
        });
        break;
    case kSortBytes:
        std::stable_sort(Rows.begin(), Rows.end(),
                         [](const TRowPtr& a, const TRowPtr& b) { return a->Bytes > b->Bytes; });
        break;
    default:
        break;
    }
}

void TXMLTable::FeedSeries(const TXMLEntry& row) {
    for (const TSeriesLink& link : SeriesLinks) {
        if (!link.Serie) continue;
        std::string label = link.UseText ? row.Text : row.Name;
        if (IsGroupName(label)) label = label.substr(1) + "}";
        link.Serie->AddLabelledPoint(PointValue(row, link.ValueKind), label);
    }
}

void TXMLTable::Write(_xmlNode* parent) {
    if (Rows.empty()) return;
    const TXMLOutput& out = *Output;
    const TColumnSet& set = ColumnSetOf(Columns);
    ComputeShares();
    SortRows();

    std::vector<xmlNode*> graphics;
    for (const auto& [name, chart] : Charts)
        graphics.push_back(AddTextElement(parent, "graphic", name + (out.VectorCharts ? ".svg" : ".png")));
    if (!TrimView(Anchor).empty()) AddTextElement(parent, "anchor", Anchor);
    xmlNode* table = AddTextElement(parent, "table");
    xmlNewProp(table, BAD_CAST "colcount", BAD_CAST std::to_string(set.ColCount).c_str());
    if (!TrimView(Title).empty()) AddTextElement(table, "title", Title);
    if (ShowHeader) {
        xmlNode* header = AddTextElement(table, "header");
        AddTextElement(header, "data", KeyCaption);
        AppendCells(header, set, {out.HitsCaption, out.VisitsCaption, out.BytesCaption, "", out.ShareCaption});
    }

    const uint8_t method = TruncMethod == kTruncInherit ? out.TruncMethod : TruncMethod;
    const double limit = TruncMethod == kTruncInherit ? out.TruncValue : TruncValue;
    const bool byVisits = Columns == 1 || Columns == 3 || Columns == 4;
    bool truncating = false;
    int64_t othersHits = 0, othersVisits = 0, othersBytes = 0, othersCount = 0;
    double othersShare = 0;
    for (size_t index = 0; index < Rows.size(); ++index) {
        const TXMLEntry& row = *Rows[index];
        if (!truncating) {
            if (method == kTruncPercent) {
                const int64_t total = byVisits ? TotalVisits : TotalHits;
                const int64_t figure = byVisits ? row.Visits : row.Hits;
                truncating = total > 0 && static_cast<double>(figure) / static_cast<double>(total) * 100 < limit;
            } else if (method == kTruncMinHits) {
                truncating = row.Hits < limit;
            } else if (method == kTruncTopN) {
                truncating = static_cast<double>(index) > limit;
            }
        }
        if (truncating) {
            othersHits += row.Hits;
            othersVisits += row.Visits;
            othersBytes += row.Bytes;
            othersShare += row.Share;
            ++othersCount;
        } else if (row.IsHeader) {
            // Header rows show the figures they have, whatever the column set.
            xmlNode* header = AddTextElement(table, "header");
            AddTextElement(header, "data", row.Name);
            if (row.Hits > 0) AddTextElement(header, "data", std::to_string(row.Hits));
            if (row.Visits > 0) AddTextElement(header, "data", std::to_string(row.Visits));
            if (row.Bytes > 0) AddTextElement(header, "data", FormatSize(out.RowBytesUnit, row.Bytes));
        } else {
            xmlNode* line = AddTextElement(table, "line");
            if (IsGroupName(row.Name)) {
                const std::string group = row.Name.substr(2);
                xmlNode* entry = AddTextElement(AddTextElement(line, "data"), "entrygroup");
                AddTextElement(entry, "id", AlnumOnly(group));
                AddTextElement(entry, "name", group);
            } else {
                AddTextElement(line, "data", row.Name);
            }
            FeedSeries(row);
            AppendCells(line, set,
                        {std::to_string(row.Hits), std::to_string(row.Visits), FormatSize(out.RowBytesUnit, row.Bytes),
                         row.Text, Percent(row.Share)});
        }
    }

    if (othersHits + othersVisits > 0) {
        xmlNode* others = AddTextElement(table, "others");
        AddTextElement(others, "data", FormatText(out.OthersFormat, std::to_string(othersCount)));
        AppendCells(others, set,
                    {std::to_string(othersHits), std::to_string(othersVisits),
                     FormatSize(out.RowBytesUnit, othersBytes), "", Percent(othersShare)});
    }
    const int64_t rowCount = static_cast<int64_t>(Rows.size());
    if (ShowTotal) {
        xmlNode* total = AddTextElement(table, "total");
        AddTextElement(total, "data", FormatText(out.TotalFormat, std::to_string(rowCount)));
        AppendCells(total, set,
                    {std::to_string(TotalHits), std::to_string(TotalVisits), FormatSize(out.TotalBytesUnit, TotalBytes),
                     "", "100%"});
    }
    if (ShowAverage) {
        xmlNode* average = AddTextElement(table, "average");
        AddTextElement(average, "data", out.AverageCaption);
        AppendCells(average, set,
                    {std::to_string(TotalHits / rowCount), std::to_string(TotalVisits / rowCount),
                     FormatSize(out.RowBytesUnit, TotalBytes / rowCount), "", ""});
    }
    WriteCharts();
    // The series are filled now: each picture's alternative text says what it shows.
    for (size_t i = 0; i < graphics.size(); ++i)
        xmlNewProp(graphics[i], BAD_CAST "alt", BAD_CAST Charts[i].second->Summary().c_str());
}

void TXMLTable::WriteCharts() {
    for (const auto& [name, chart] : Charts) {
        if (chart->SerieCount() == 0) continue;
        chart->FitValueRange();
        if (Output->VectorCharts)
            chart->WriteDescription(Output->PathOf(name + ".xml"));
        else if (Output->ChartQueue)
            Output->ChartQueue->Add(chart, Output->PathOf(name + ".png"));
        else
            chart->RenderRaster(Output->PathOf(name + ".png"));
    }
}

// ---- TXMLSubSection and TXMLSection

TXMLTable* TXMLSubSection::AddTable() {
    Tables.push_back(std::make_unique<TXMLTable>(Output));
    return Tables.back().get();
}

int32_t TXMLSubSection::RowCount() const {
    if (!RowCountValid) {
        CachedRowCount = 0;
        for (const auto& table : Tables)
            CachedRowCount += static_cast<int32_t>(table->Rows.size());
        RowCountValid = true;
    }
    return CachedRowCount;
}

TXMLSubSection* TXMLSection::AddSubSection() {
    SubSections.push_back(std::make_unique<TXMLSubSection>(Output, Id, static_cast<int32_t>(SubSections.size() + 1)));
    return SubSections.back().get();
}

int32_t TXMLSection::RowCount() const {
    int32_t count = 0;
    for (const auto& sub : SubSections)
        count += sub->RowCount();
    return count;
}

// ---- TXMLOutput

TXMLSection* TXMLOutput::AddSection() {
    Sections.push_back(std::make_unique<TXMLSection>(this));
    return Sections.back().get();
}

std::string TXMLOutput::PathOf(std::string_view name) const {
    if (!name.empty() && name.front() == '/') return std::string(name);
    return Folder + std::string(name);
}

void TXMLOutput::Write() {
    xmlNode* menu = nullptr;
    TXmlDocPtr toc = NewDocument("menu", menu);
    SetLanguage(menu, Language);
    for (const auto& section : Sections) {
        if (!section->InToc || section->RowCount() <= 0) continue;
        xmlNode* item = AddTextElement(menu, "item");
        AddTextElement(item, "itemname", section->Title);
        AddTextElement(item, "filename", section->Id + ".htm");
        for (const auto& sub : section->SubSections) {
            xmlNode* subItem = AddTextElement(item, "subitem");
            AddTextElement(subItem, "itemname", sub->Title);
            AddTextElement(subItem, "filename", sub->SectionId + ".htm#sub" + std::to_string(sub->Index));
        }
    }
    SaveXmlAsLines(toc.get(), PathOf(TocFileName));

    for (const auto& section : Sections) {
        if (section->RowCount() <= 0) {
            std::error_code ignored;
            std::filesystem::remove(PathOf(section->Id + ".xml"), ignored); // left by an earlier run
            continue;
        }
        xmlNode* root = nullptr;
        TXmlDocPtr doc = NewDocument("section", root);
        xmlNewProp(root, BAD_CAST "id", BAD_CAST XmlSafeText(section->Id).c_str());
        SetLanguage(root, Language);
        if (!TrimView(section->Title).empty()) AddTextElement(root, "title", TitlePrefix + section->Title);
        if (!TrimView(GeneratedOn).empty() || !TrimView(DateRange).empty()) {
            xmlNode* info = AddTextElement(root, "geninfo");
            AddTextElement(info, "generatedon", GeneratedOn);
            AddTextElement(info, "daterange", DateRange);
        }
        for (const auto& sub : section->SubSections) {
            if (sub->RowCount() == 0) continue;
            xmlNode* node = AddTextElement(root, "subsection");
            xmlNewProp(node, BAD_CAST "id", BAD_CAST std::to_string(sub->Index).c_str());
            if (!TrimView(sub->Title).empty()) AddTextElement(node, "title", sub->Title);
            for (const auto& table : sub->Tables)
                table->Write(node);
        }
        SaveXmlAsLines(doc.get(), PathOf(section->Id + ".xml"));
    }
}
