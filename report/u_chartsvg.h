#pragma once
// The renderer-independent chart of a report: a type, a title, two axes and up to six
// series of integer points over shared category labels. Written as a "cvgraph" document
// or drawn as a PNG picture; filled by the builders below from the analyser's views.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TChartSVG;
class TLogAnalyser;
class TQVProfile;
struct _xmlDoc;
struct _xmlNode;

// A colour laid out 0x00BBGGRR, as the profile stores it.
using TChartColor = uint32_t;
constexpr TChartColor kChartSilver = 0xC0C0C0;

// Chart types.
constexpr uint8_t kChartBar = 0;
constexpr uint8_t kChartLine = 1;
constexpr uint8_t kChartPie = 2;

// A report file (description, picture, section XML) could not be written.
class EReportWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TChartPoint {
    int32_t X = 0; // index into the category labels
    int32_t Y = 0;
};

class TChartSerie {
public:
    explicit TChartSerie(TChartSVG* chart) : Chart(chart) {}

    std::string Name;
    TChartColor Color = 0;
    std::vector<TChartPoint> Points;
    TChartSVG* Chart; // not owned

    // Appends (x, y); a given label becomes category label x, the list growing with
    // empty labels as needed.
    void AddPointAt(int32_t x, int32_t y, std::optional<std::string_view> label = std::nullopt);
    // Appends label to the shared category labels and a point at its index.
    void AddLabelledPoint(int32_t y, std::string_view label);
    // Over the y values of points from..to: a negative from means 0, a negative or too
    // large to means the last point; 0 when to < from or there are no points.
    int32_t MaxValue(int from = 0, int to = -1) const;
    int32_t MinValue(int from = 0, int to = -1) const;
    int64_t SumValues(int from = 0, int to = -1) const;
};

// The value range of an axis as the description writes it: a step of 1, 2 or 5 times a
// power of ten giving about six intervals, m0 and top multiples of it.
struct TAxisRange {
    int64_t Min = 0;
    int64_t Top = 0;
    int64_t Step = 1;
};

class TChartAxis {
public:
    TChartAxis(TChartSVG* chart, bool isValueAxis) : IsValueAxis(isValueAxis), IsVertical(isValueAxis), Chart(chart) {}

    std::string Title;
    bool IsValueAxis;
    bool IsVertical;
    bool RotateLabels = false; // long labels may be turned or staggered
    int32_t Max = 0;
    int32_t Min = 0;
    std::vector<std::string> Labels; // category axis only
    TChartSVG* Chart;                // not owned

    // Value axis: Min down and Max up to round steps. Category axis: 0 to the number of labels.
    TAxisRange Range() const;
    // The length above which a category label counts as long: 90 div number of labels.
    size_t LongLabelLength() const;
};

class TChartSVG {
public:
    TChartSVG();
    TChartSVG(const TChartSVG&) = delete;
    TChartSVG& operator=(const TChartSVG&) = delete;

    uint8_t ChartType = kChartBar;
    std::string Title;
    TChartColor BackColor = 0xFFFFFF;
    uint8_t LegendMode = 0; // 0 automatic, 1 always, other values never
    TChartAxis CategoryAxis;
    TChartAxis ValueAxis;
    std::vector<std::unique_ptr<TChartSerie>> Series;

    TChartSerie* AddSerie();
    void ClearSeries();
    TChartSerie* SerieAt(int i) const;
    int SerieCount() const { return static_cast<int>(Series.size()); }

    // Whether the legend is shown; the raster picture never shows it for an automatic pie
    // (pies list their slices in a key of their own).
    bool LegendShown(bool raster) const;
    // Value axis from the series: Max = 1.1 x the largest value; Min = 0.9 x the smallest
    // series minimum (an empty series counts 0) for lines, 0 or the smallest negative value
    // for bars, so that a bar's length is proportional to its value.
    void FitValueRange();
    // What the chart shows in a sentence, for its alternative text: the title and the
    // largest items (slices, series or a single series' categories) with their values.
    std::string Summary(size_t items = 3) const;

    // Writes the "cvgraph" document. Throws EReportWriteError when the file cannot be written.
    void WriteDescription(const std::string& fileName) const;
    // Draws the picture and writes it as PNG. Throws EReportWriteError.
    void RenderRaster(const std::string& fileName) const;
};

// "#rrggbb" in lower case.
std::string ChartColorText(TChartColor color);
// Whether color stands out too little from back (contrast below 3 : 1) to be seen
// without an outline.
bool NeedsOutline(TChartColor color, TChartColor back);
// color darkened, for the outline of a light fill or line.
TChartColor OutlineColor(TChartColor color);
// value in decimal with "," between groups of three digits.
std::string GroupedDigits(int64_t value);

// Day index shown in chart slot k of D days, or -1: the profile's DailyRowsMax (0 = 30)
// and DailyTruncMethod (0 first, 1 last, 2 spread days).
int DailySlotDay(int slot, int days, int rowsMax, int truncMethod);
// Up to six series from the first items of view, one point per shown day (visits).
// Does nothing for fewer than 3 days.
void BuildDailySeries(TChartSVG& chart, int days, int view, double firstDay, const TLogAnalyser& analyser,
                      const TQVProfile& profile);
// The same with the series of the ";"-terminated names that view holds as keys.
void BuildNamedSeries(TChartSVG& chart, int days, std::string_view names, int view, double firstDay,
                      TLogAnalyser& analyser, const TQVProfile& profile);
// One entry of a share pie: a slice of its own for the first five, the sixth slice
// gathers the rest under othersFormat (its "%s" the number of entries gathered).
void AddShareEntry(TChartSVG& chart, int32_t value, std::string_view text, std::string_view othersFormat);
// BackColor and series colours from the profile; series past the sixth are silver.
void AssignChartColors(TChartSVG& chart, const TQVProfile& profile);

// Report XML files, shared with the report XML writer.

// text as valid UTF-8 for a text node: a byte that is not part of a UTF-8 sequence is
// read as Latin-1; characters XML cannot carry become U+FFFD.
std::string XmlSafeText(std::string_view text);
// Appends an element to parent, with text as its only content (no markup is read from it).
_xmlNode* AddTextElement(_xmlNode* parent, const char* name, std::string_view text = {});
// Serialises doc as UTF-8 with its declaration, puts a line break between adjacent
// tags and writes the lines ending in CR LF. Throws EReportWriteError.
void SaveXmlAsLines(_xmlDoc* doc, const std::string& fileName);
// format with its first "%s" replaced by arg and "%%" by "%"; other "%" stay.
std::string FormatText(std::string_view format, std::string_view arg);
