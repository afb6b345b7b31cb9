#include "report/u_chartsvg.h"

#include "core/u_loganalyser.h"
#include "profile/u_qvprofile.h"
#include "report/ChartRender.h"
#include "sources/CUtils.h"
#include "sources/DateTime.h"
#include "sources/FileUtils.h"
#include "sources/XmlHandles.h"

#include <libxml/tree.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// The range of points from..to after the clamping rules; empty when to < from.
std::pair<size_t, size_t> PointRange(const std::vector<TChartPoint>& points, int from, int to) {
    const int last = static_cast<int>(points.size()) - 1;
    if (from < 0) from = 0;
    if (to < 0 || to > last) to = last;
    if (to < from) return {0, 0};
    return {static_cast<size_t>(from), static_cast<size_t>(to) + 1};
}

// Ceiling and floor of a / b for b > 0.
int64_t CeilDiv(int64_t a, int64_t b) {
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}
int64_t FloorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The smallest step of 1, 2 or 5 times a power of ten that covers span in six intervals.
int64_t RoundStep(int64_t span) {
    const int64_t wanted = CeilDiv(std::max<int64_t>(span, 1), 6);
    for (int64_t power = 1;; power *= 10) {
        for (int64_t factor : {1, 2, 5})
            if (factor * power >= wanted) return factor * power;
    }
}

// Relative luminance of a colour (sRGB), 0 black to 1 white.
double Luminance(TChartColor color) {
    auto channel = [](uint32_t c) {
        const double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color & 0xFF) + 0.7152 * channel((color >> 8) & 0xFF) +
           0.0722 * channel((color >> 16) & 0xFF);
}

int32_t ClampToInt32(double value) {
    if (value >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value); // truncates toward zero, as the integer part does
}

const char* ChartTypeName(uint8_t type) {
    switch (type) {
    case kChartLine:
        return "line";
    case kChartPie:
        return "pie";
    default:
        return "bar";
    }
}

void WriteAxis(_xmlNode* parent, const char* name, const TChartAxis& axis) {
    _xmlNode* node = AddTextElement(parent, name);
    AddTextElement(node, "title", axis.Title);
    const TAxisRange range = axis.Range();
    if (axis.IsValueAxis) AddTextElement(node, "step", std::to_string(range.Step));
    AddTextElement(node, "max", std::to_string(range.Top));
    AddTextElement(node, "min", std::to_string(range.Min));
    if (axis.IsVertical) {
        const size_t longest = std::to_string(axis.Max).size();
        if (longest > 3) AddTextElement(node, "margin", std::to_string(longest * 5 - 15));
    }

    _xmlNode* grid = AddTextElement(node, "grid");
    std::vector<std::string> generated;
    if (axis.IsValueAxis) {
        AddTextElement(grid, "valuepositioning");
        for (int64_t v = range.Min; v <= range.Top; v += range.Step)
            generated.push_back(std::to_string(v));
    }
    const std::vector<std::string>& labels = axis.IsValueAxis ? generated : axis.Labels;

    size_t total = 0;
    for (const std::string& label : axis.Chart->CategoryAxis.Labels)
        total += label.size();
    // A long row of labels on a flat axis is thinned evenly to about 90 characters.
    const bool thin = !axis.IsVertical && !axis.RotateLabels && total > 90;
    const size_t longLength = axis.LongLabelLength();
    size_t written = 0;
    bool previousLowered = false;
    for (size_t t = 0; t < labels.size(); ++t) {
        if (thin && static_cast<double>(written) > static_cast<double>(t) * 90.0 / static_cast<double>(total)) continue;
        _xmlNode* line = AddTextElement(grid, "line", labels[t]);
        const bool lowered = axis.RotateLabels && labels[t].size() > longLength && !previousLowered;
        if (lowered) xmlNewProp(line, BAD_CAST "lowered", BAD_CAST "y");
        previousLowered = lowered;
        ++written;
    }
}

} // namespace

// ---- TChartSerie

void TChartSerie::AddPointAt(int32_t x, int32_t y, std::optional<std::string_view> label) {
    Points.push_back({x, y});
    if (label && x >= 0) {
        std::vector<std::string>& labels = Chart->CategoryAxis.Labels;
        if (labels.size() <= static_cast<size_t>(x)) labels.resize(static_cast<size_t>(x) + 1);
        labels[static_cast<size_t>(x)] = std::string(*label);
    }
}

void TChartSerie::AddLabelledPoint(int32_t y, std::string_view label) {
    std::vector<std::string>& labels = Chart->CategoryAxis.Labels;
    Points.push_back({static_cast<int32_t>(labels.size()), y});
    labels.emplace_back(label);
}

int32_t TChartSerie::MaxValue(int from, int to) const {
    const auto [first, end] = PointRange(Points, from, to);
    if (first == end) return 0;
    int32_t result = Points[first].Y;
    for (size_t i = first + 1; i < end; ++i)
        result = std::max(result, Points[i].Y);
    return result;
}

int32_t TChartSerie::MinValue(int from, int to) const {
    const auto [first, end] = PointRange(Points, from, to);
    if (first == end) return 0;
    int32_t result = Points[first].Y;
    for (size_t i = first + 1; i < end; ++i)
        result = std::min(result, Points[i].Y);
    return result;
}

int64_t TChartSerie::SumValues(int from, int to) const {
    const auto [first, end] = PointRange(Points, from, to);
    int64_t sum = 0;
    for (size_t i = first; i < end; ++i)
        sum += Points[i].Y;
    return sum;
}

// ---- TChartAxis

TAxisRange TChartAxis::Range() const {
    TAxisRange range;
    if (!IsValueAxis) {
        range.Top = static_cast<int64_t>(Labels.size());
        return range;
    }
    const int64_t low = std::min(Min, Max);
    range.Step = RoundStep(static_cast<int64_t>(Max) - low);
    range.Min = FloorDiv(low, range.Step) * range.Step;
    range.Top = std::max(range.Min, CeilDiv(Max, range.Step) * range.Step);
    return range;
}

size_t TChartAxis::LongLabelLength() const {
    const size_t count = Chart->CategoryAxis.Labels.size();
    // Without category labels no label counts as long.
    return count ? 90 / count : std::numeric_limits<size_t>::max();
}

// ---- TChartSVG

TChartSVG::TChartSVG() : CategoryAxis(this, false), ValueAxis(this, true) {
}

TChartSerie* TChartSVG::AddSerie() {
    Series.push_back(std::make_unique<TChartSerie>(this));
    return Series.back().get();
}

void TChartSVG::ClearSeries() {
    Series.clear();
}

TChartSerie* TChartSVG::SerieAt(int i) const {
    return i >= 0 && i < SerieCount() ? Series[static_cast<size_t>(i)].get() : nullptr;
}

bool TChartSVG::LegendShown(bool raster) const {
    if (LegendMode == 1) return true;
    if (LegendMode != 0) return false;
    return SerieCount() > 1 && !(raster && ChartType == kChartPie);
}

void TChartSVG::FitValueRange() {
    if (Series.empty()) return;
    int32_t largest = Series.front()->MaxValue();
    int32_t smallest = Series.front()->MinValue();
    for (const auto& serie : Series) {
        largest = std::max(largest, serie->MaxValue());
        smallest = std::min(smallest, serie->MinValue());
    }
    ValueAxis.Max = ClampToInt32(largest * 1.1);
    ValueAxis.Min = ChartType == kChartBar ? std::min(0, smallest) : ClampToInt32(smallest * 0.9);
}

std::string TChartSVG::Summary(size_t items) const {
    struct TItem {
        std::string_view Name;
        int64_t Value;
    };
    std::vector<TItem> top;
    if (ChartType != kChartPie && Series.size() == 1) {
        for (const TChartPoint& point : Series.front()->Points) {
            const size_t x = static_cast<size_t>(point.X);
            if (point.X >= 0 && x < CategoryAxis.Labels.size()) top.push_back({CategoryAxis.Labels[x], point.Y});
        }
    } else {
        for (const auto& serie : Series)
            top.push_back({serie->Name, serie->SumValues()});
    }
    std::stable_sort(top.begin(), top.end(), [](const TItem& a, const TItem& b) { return a.Value > b.Value; });
    std::string text = Title;
    for (size_t i = 0; i < top.size() && i < items; ++i) {
        text += i > 0 ? "; " : text.empty() ? "" : ": ";
        text += std::string(top[i].Name) + " " + GroupedDigits(top[i].Value);
    }
    if (top.size() > items) text += "; \xE2\x80\xA6";
    return XmlSafeText(text);
}

void TChartSVG::WriteDescription(const std::string& fileName) const {
    TXmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNode* root = xmlNewDocNode(doc.get(), nullptr, BAD_CAST "cvgraph", nullptr);
    xmlDocSetRootElement(doc.get(), root);
    AddTextElement(root, "title", Title);
    AddTextElement(root, "charttype", ChartTypeName(ChartType));
    AddTextElement(root, "backcolor", ChartColorText(BackColor));
    if (LegendShown(false)) AddTextElement(root, "showlegend");
    WriteAxis(root, "xaxis", CategoryAxis);
    WriteAxis(root, "yaxis", ValueAxis);
    xmlNode* series = AddTextElement(root, "series");
    for (const auto& serie : Series) {
        xmlNode* node = AddTextElement(series, "serie");
        AddTextElement(node, "name", serie->Name);
        AddTextElement(node, "color", ChartColorText(serie->Color));
        if (NeedsOutline(serie->Color, BackColor))
            AddTextElement(node, "outline", ChartColorText(OutlineColor(serie->Color)));
        for (const TChartPoint& point : serie->Points) {
            xmlNode* p = AddTextElement(node, "point");
            xmlNewProp(p, BAD_CAST "x", BAD_CAST std::to_string(point.X).c_str());
            xmlNewProp(p, BAD_CAST "y", BAD_CAST std::to_string(point.Y).c_str());
        }
    }
    SaveXmlAsLines(doc.get(), fileName);
}

void TChartSVG::RenderRaster(const std::string& fileName) const {
    RenderChartPng(*this, fileName);
}

std::string ChartColorText(TChartColor color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%2.2x%2.2x%2.2x", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    return text;
}

bool NeedsOutline(TChartColor color, TChartColor back) {
    const double a = Luminance(color), b = Luminance(back);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05) < 3;
}

TChartColor OutlineColor(TChartColor color) {
    TChartColor dark = 0;
    for (int shift = 0; shift < 24; shift += 8)
        dark |= ((color >> shift & 0xFF) * 11 / 20) << shift;
    return dark;
}

std::string GroupedDigits(int64_t value) {
    const std::string digits =
        std::to_string(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
    std::string text = value < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

// ---- Builders

int DailySlotDay(int slot, int days, int rowsMax, int truncMethod) {
    const int n = rowsMax == 0 ? 30 : rowsMax;
    if (n >= days) return slot;
    if (slot >= n) return -1;
    switch (truncMethod) {
    case 1:
        return days - n + slot;
    case 2:
        return static_cast<int>(static_cast<double>(days) / n * slot);
    default:
        return slot;
    }
}

namespace {

void AddDailySerie(TChartSVG& chart, const TLogView& row, int days, double firstDay, const TQVProfile& profile) {
    TChartSerie* serie = chart.AddSerie();
    if (row.IsGroup())
        serie->Name = "{" + row.Name + "}";
    else
        serie->Name = TrimView(row.Name).empty() ? std::string("-") : row.Name;
    const int rowsMax = profile.DailyRowsMax == 0 ? 30 : profile.DailyRowsMax;
    const int slots = std::min(days, rowsMax);
    const int first = DayNumber(firstDay);
    for (int k = 0; k < slots; ++k) {
        const int j = DailySlotDay(k, days, profile.DailyRowsMax, profile.DailyTruncMethod);
        if (j < 0) continue;
        const int day = first + j;
        serie->AddPointAt(k, TLogAnalyser::DayStatsOf(row, day).Visits, FormatDateTime(profile.DateFormat, day));
    }
}

} // namespace

void BuildDailySeries(TChartSVG& chart, int days, int view, double firstDay, const TLogAnalyser& analyser,
                      const TQVProfile& profile) {
    if (days < 3) return;
    chart.ClearSeries();
    for (int i = 0; i < 6; ++i) {
        if (const TLogView* row = analyser.ViewAt(view, i)) AddDailySerie(chart, *row, days, firstDay, profile);
    }
    chart.FitValueRange();
}

void BuildNamedSeries(TChartSVG& chart, int days, std::string_view names, int view, double firstDay,
                      TLogAnalyser& analyser, const TQVProfile& profile) {
    if (days < 3) return;
    chart.ClearSeries();
    while (!names.empty() && chart.SerieCount() < 6) {
        const size_t end = names.find(';');
        const std::string_view name = names.substr(0, end);
        names = end == std::string_view::npos ? std::string_view() : names.substr(end + 1);
        if (name.empty()) continue;
        if (const TLogView* row = analyser.ViewByKey(view, name)) AddDailySerie(chart, *row, days, firstDay, profile);
    }
    chart.FitValueRange();
}

void AddShareEntry(TChartSVG& chart, int32_t value, std::string_view text, std::string_view othersFormat) {
    if (chart.SerieCount() < 6) {
        TChartSerie* serie = chart.AddSerie();
        serie->Name = std::string(text);
        serie->AddLabelledPoint(value, text);
        return;
    }
    TChartSerie* others = chart.SerieAt(5);
    others->AddLabelledPoint(value, text);
    others->Name = FormatText(othersFormat, std::to_string(others->Points.size()));
}

void AssignChartColors(TChartSVG& chart, const TQVProfile& profile) {
    chart.BackColor = profile.BGColor;
    for (int i = 0; i < chart.SerieCount(); ++i)
        chart.SerieAt(i)->Color = i < 6 ? profile.Color[i] : kChartSilver;
}

// ---- Report XML files

std::string XmlSafeText(std::string_view text) {
    return ValidUtf8(text, true, "\xEF\xBF\xBD");
}

_xmlNode* AddTextElement(_xmlNode* parent, const char* name, std::string_view text) {
    xmlNode* node = xmlNewChild(parent, nullptr, BAD_CAST name, nullptr);
    if (!text.empty()) {
        const std::string safe = XmlSafeText(text);
        xmlAddChild(node, xmlNewDocTextLen(parent->doc, BAD_CAST safe.data(), static_cast<int>(safe.size())));
    }
    return node;
}

void SaveXmlAsLines(_xmlDoc* doc, const std::string& fileName) {
    xmlChar* raw = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc, &raw, &size, "UTF-8");
    const TXmlCharPtr buffer(raw);
    if (!buffer) throw EReportWriteError("cannot serialise " + fileName);
    const std::string lines =
        CrLfTagLines(std::string_view(reinterpret_cast<const char*>(buffer.get()), static_cast<size_t>(size)));
    // These files live in a run's work folder and go with it: flushing them to disk buys nothing.
    TReplaceOptions options;
    options.Sync = false;
    std::string reason;
    if (!ReplaceFileContents(fileName, lines, &reason, options)) throw EReportWriteError("cannot write " + reason);
}

std::string FormatText(std::string_view format, std::string_view arg) {
    std::string out;
    bool substituted = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (format[i + 1] == 's' && !substituted) {
                out += arg;
                substituted = true;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}
