#include "report/ChartRender.h"

#include <fontconfig/fontconfig.h>

#include "report/u_chartsvg.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr const char* kFont = "Liberation Sans";
constexpr double kPi = 3.14159265358979323846;
constexpr double kW = kChartWidth;
constexpr double kH = kChartHeight;
// Text sizes in page units: at least 10 CSS pixels when a phone shows the page 350 wide.
constexpr double kTextSize = 14;
constexpr double kTitleSize = 16;
constexpr double kRowHeight = 20;
// A slice is labelled with its share only from this share on; every slice is in the key.
constexpr double kLabelledShare = 0.10;

struct TRect {
    double Left, Top, Right, Bottom;
    double Width() const { return Right - Left; }
    double Height() const { return Bottom - Top; }
};

void SetColor(cairo_t* cr, TChartColor color) {
    cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0);
}

void SetGray(cairo_t* cr, double level) {
    cairo_set_source_rgb(cr, level, level, level);
}

void SetFont(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double TextWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

// Text that cairo can show (valid UTF-8), cut with an ellipsis to fit maxWidth.
std::string Fit(cairo_t* cr, std::string_view raw, double maxWidth) {
    std::string text = XmlSafeText(raw);
    if (TextWidth(cr, text) <= maxWidth) return text;
    while (!text.empty()) {
        do
            text.pop_back();
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80);
        if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0) text.pop_back();
        if (TextWidth(cr, text + "\xE2\x80\xA6") <= maxWidth) return text + "\xE2\x80\xA6";
    }
    return text;
}

class TChartPainter {
public:
    TChartPainter(cairo_t* cr, const TChartSVG& chart, TChartLayout& layout) : Cr(cr), Chart(chart), Layout(layout) {}

    void Paint() {
        SetColor(Cr, Chart.BackColor);
        cairo_paint(Cr);
        double top = 8;
        if (!Chart.Title.empty()) {
            SetFont(Cr, kTitleSize, true);
            SetGray(Cr, 0.1);
            ShowText(Fit(Cr, Chart.Title, kW - 16), kW / 2, 22, 0.5);
            top = 34;
        }
        if (Chart.ChartType == kChartPie)
            PaintPie(top);
        else
            PaintAxesAndSeries(top);
    }

private:
    double FontSize() const {
        cairo_matrix_t matrix;
        cairo_get_font_matrix(Cr, &matrix);
        return matrix.yy;
    }

    // Shows text with its baseline at y; align 0 left, 0.5 centred, 1 right of x. With a
    // halo the text gets a ring of the background colour, to read on any fill.
    void ShowText(const std::string& text, double x, double y, double align, bool halo = false) {
        if (text.empty()) return;
        const double width = TextWidth(Cr, text);
        const double left = x - width * align;
        const double size = FontSize();
        Layout.Texts.push_back({text, left, y - 0.8 * size, left + width, y + 0.22 * size});
        cairo_move_to(Cr, left, y);
        if (!halo) {
            cairo_show_text(Cr, text.c_str());
            return;
        }
        cairo_pattern_t* ink = cairo_pattern_reference(cairo_get_source(Cr));
        cairo_text_path(Cr, text.c_str());
        SetColor(Cr, Chart.BackColor);
        cairo_set_line_width(Cr, 3);
        cairo_set_line_join(Cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_preserve(Cr);
        cairo_set_source(Cr, ink);
        cairo_pattern_destroy(ink);
        cairo_fill(Cr);
    }

    // Shows text turned to read upwards, its baseline at x, centred on y along its length.
    void ShowTurnedText(const std::string& text, double x, double y) {
        if (text.empty()) return;
        const double width = TextWidth(Cr, text);
        const double size = FontSize();
        Layout.Texts.push_back({text, x - 0.8 * size, y - width / 2, x + 0.22 * size, y + width / 2});
        cairo_save(Cr);
        cairo_translate(Cr, x, y);
        cairo_rotate(Cr, -kPi / 2);
        cairo_move_to(Cr, -width / 2, 0);
        cairo_show_text(Cr, text.c_str());
        cairo_restore(Cr);
    }

    // A filled shape in a series colour, outlined in a darker shade when the colour is
    // too light for the background; the path is consumed.
    void FillSeriesPath(TChartColor color) {
        SetColor(Cr, color);
        if (!NeedsOutline(color, Chart.BackColor)) {
            cairo_fill(Cr);
            return;
        }
        cairo_fill_preserve(Cr);
        SetColor(Cr, OutlineColor(color));
        cairo_set_line_width(Cr, 1);
        cairo_stroke(Cr);
    }

    // A key row: swatch, name and value right-aligned at right.
    void PaintKeyRow(size_t serie, const std::string& value, double left, double right, double y) {
        const TChartColor color = Chart.Series[serie]->Color;
        cairo_rectangle(Cr, left + 0.5, y + 3.5, 12, 12);
        FillSeriesPath(color);
        SetFont(Cr, kTextSize, false);
        SetGray(Cr, 0.1);
        const double valueWidth = TextWidth(Cr, value);
        ShowText(value, right, y + 14, 1);
        ShowText(Fit(Cr, Chart.Series[serie]->Name, right - left - 18 - valueWidth - 10), left + 18, y + 14, 0);
    }

    // The series with their totals in two columns from legendTop down.
    void PaintLegend(double legendTop) {
        const double column = (kW - 16) / 2;
        for (size_t i = 0; i < Chart.Series.size(); ++i) {
            const double left = 8 + column * static_cast<double>(i % 2);
            PaintKeyRow(i, GroupedDigits(Chart.Series[i]->SumValues()), left, left + column - 10,
                        legendTop + kRowHeight * static_cast<double>(i / 2));
        }
    }

    void PaintAxesAndSeries(double top) {
        double bottom = kH - 6;
        if (Chart.LegendShown(true)) {
            const double rows = std::ceil(static_cast<double>(Chart.Series.size()) / 2);
            const double legendTop = bottom - rows * kRowHeight;
            PaintLegend(legendTop);
            bottom = legendTop - 6;
        }

        // Value range: the axis' round steps, never empty.
        const TAxisRange range = Chart.ValueAxis.Range();
        const int64_t step = range.Step;
        const int64_t low = range.Min;
        const int64_t high = std::max(range.Top, low + step);
        Layout.AxisMin = low;
        Layout.AxisTop = high;
        Layout.AxisStep = step;

        // Categories: the labels, or as many as the points need.
        const std::vector<std::string>& labels = Chart.CategoryAxis.Labels;
        int32_t categories = static_cast<int32_t>(labels.size());
        for (const auto& serie : Chart.Series)
            for (const TChartPoint& point : serie->Points)
                categories = std::max(categories, point.X + 1);
        categories = std::max(categories, 1);

        SetFont(Cr, kTextSize, true);
        const std::string valueTitle = Fit(Cr, Chart.ValueAxis.Title, bottom - top - 30);
        const std::string categoryTitle = Fit(Cr, Chart.CategoryAxis.Title, kW - 40);
        double left = 6;
        if (!valueTitle.empty()) left += 18;
        const double categoryBaseline = bottom - 3;
        if (!categoryTitle.empty()) bottom -= 22;

        SetFont(Cr, kTextSize, false);
        double tickWidth = 0;
        for (int64_t v = low; v <= high; v += step)
            tickWidth = std::max(tickWidth, TextWidth(Cr, GroupedDigits(v)));
        const TRect plot{left + tickWidth + 6, top + 8, kW - 10, bottom - 24};
        const double slot = plot.Width() / categories;
        auto yOf = [&](double value) {
            return plot.Bottom - (value - static_cast<double>(low)) / static_cast<double>(high - low) * plot.Height();
        };

        // Grid, and tick labels at least 18 units apart.
        const double stepHeight = plot.Height() * static_cast<double>(step) / static_cast<double>(high - low);
        const int64_t tickEvery = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(18 / stepHeight)));
        cairo_set_line_width(Cr, 1);
        for (int64_t v = low, k = 0; v <= high; v += step, ++k) {
            const double y = std::round(yOf(static_cast<double>(v))) + 0.5;
            SetGray(Cr, 0.88);
            cairo_move_to(Cr, plot.Left, y);
            cairo_line_to(Cr, plot.Right, y);
            cairo_stroke(Cr);
            if (k % tickEvery != 0) continue;
            SetGray(Cr, 0.3);
            ShowText(GroupedDigits(v), plot.Left - 6, y + 5, 1);
        }

        // Category labels flat, thinned to every n-th and shortened so that none touch.
        double labelWidth = 0;
        for (const std::string& label : labels)
            labelWidth = std::max(labelWidth, TextWidth(Cr, XmlSafeText(label)));
        const size_t every =
            std::max<size_t>(1, static_cast<size_t>(std::ceil((std::min(labelWidth, 110.0) + 6) / slot)));
        SetGray(Cr, 0.3);
        for (size_t i = 0; i < labels.size(); i += every) {
            const double x = plot.Left + slot * (static_cast<double>(i) + 0.5);
            const double room = std::min({slot * static_cast<double>(every) - 6, 2 * (x - 2), 2 * (kW - 2 - x)});
            ShowText(Fit(Cr, labels[i], room), x, plot.Bottom + 20, 0.5);
        }

        SetFont(Cr, kTextSize, true);
        SetGray(Cr, 0.1);
        if (!valueTitle.empty()) ShowTurnedText(valueTitle, 17, (plot.Top + plot.Bottom) / 2);
        if (!categoryTitle.empty()) ShowText(categoryTitle, (plot.Left + plot.Right) / 2, categoryBaseline, 0.5);

        cairo_save(Cr);
        cairo_rectangle(Cr, plot.Left, plot.Top - 3, plot.Width(), plot.Height() + 3);
        cairo_clip(Cr);
        if (Chart.ChartType == kChartBar) {
            const double baseline = yOf(static_cast<double>(std::clamp<int64_t>(0, low, high)));
            const double group = slot * 0.75;
            const double width = group / static_cast<double>(std::max(1, Chart.SerieCount()));
            for (size_t s = 0; s < Chart.Series.size(); ++s) {
                for (const TChartPoint& point : Chart.Series[s]->Points) {
                    if (point.X < 0) continue;
                    const double x = plot.Left + slot * point.X + (slot - group) / 2 + width * static_cast<double>(s);
                    const double y = yOf(point.Y);
                    cairo_rectangle(Cr, x, std::min(y, baseline), std::max(1.0, width - (width > 4 ? 1 : 0)),
                                    std::fabs(baseline - y));
                }
                FillSeriesPath(Chart.Series[s]->Color);
            }
        } else if (Chart.ChartType == kChartLine) {
            cairo_set_line_join(Cr, CAIRO_LINE_JOIN_ROUND);
            cairo_set_line_cap(Cr, CAIRO_LINE_CAP_ROUND);
            for (const auto& serie : Chart.Series) {
                bool first = true;
                for (const TChartPoint& point : serie->Points) {
                    const double x = plot.Left + slot * (point.X + 0.5);
                    const double y = yOf(point.Y);
                    if (first) cairo_move_to(Cr, x, y);
                    cairo_line_to(Cr, x, y);
                    first = false;
                }
                // A light line runs on a darker one a little wider.
                if (NeedsOutline(serie->Color, Chart.BackColor)) {
                    SetColor(Cr, OutlineColor(serie->Color));
                    cairo_set_line_width(Cr, 5);
                    cairo_stroke_preserve(Cr);
                }
                SetColor(Cr, serie->Color);
                cairo_set_line_width(Cr, 3);
                cairo_stroke(Cr);
            }
        }
        cairo_restore(Cr);

        // Axis lines over the bars.
        SetGray(Cr, 0.5);
        cairo_set_line_width(Cr, 1);
        cairo_move_to(Cr, std::round(plot.Left) + 0.5, plot.Top);
        cairo_line_to(Cr, std::round(plot.Left) + 0.5, std::round(plot.Bottom) + 0.5);
        cairo_line_to(Cr, plot.Right, std::round(plot.Bottom) + 0.5);
        cairo_stroke(Cr);
    }

    // The pie at the left, its key (every slice with its value and share) at the right;
    // slices of a tenth or more carry their share, which cannot overlap at that size.
    void PaintPie(double top) {
        std::vector<double> values;
        double total = 0;
        for (const auto& serie : Chart.Series) {
            values.push_back(static_cast<double>(std::max<int64_t>(0, serie->SumValues())));
            total += values.back();
        }
        const double radius = std::min(95.0, (kH - 8 - top) / 2 - 2);
        const double cx = 12 + radius;
        const double cy = (top + kH - 8) / 2;

        // Key.
        const double keyLeft = cx + radius + 18;
        const double keyHeight = kRowHeight * static_cast<double>(values.size());
        const double keyTop = std::max(top, cy - keyHeight / 2);
        for (size_t i = 0; i < values.size(); ++i) {
            char share[32] = "";
            if (total > 0) std::snprintf(share, sizeof share, " (%.1f%%)", values[i] / total * 100);
            PaintKeyRow(i, GroupedDigits(static_cast<int64_t>(values[i])) + share, keyLeft, kW - 8,
                        keyTop + kRowHeight * static_cast<double>(i));
        }

        if (total <= 0) {
            SetGray(Cr, 0.85);
            cairo_arc(Cr, cx, cy, radius, 0, 2 * kPi);
            cairo_fill(Cr);
            return;
        }
        double angle = -kPi / 2; // from twelve o'clock, clockwise
        for (size_t i = 0; i < values.size(); ++i) {
            if (values[i] <= 0) continue;
            const double sweep = values[i] / total * 2 * kPi;
            const TChartColor color = Chart.Series[i]->Color;
            cairo_move_to(Cr, cx, cy);
            cairo_arc(Cr, cx, cy, radius, angle, angle + sweep);
            cairo_close_path(Cr);
            SetColor(Cr, color);
            cairo_fill_preserve(Cr);
            const bool light = NeedsOutline(color, Chart.BackColor);
            SetColor(Cr, light ? OutlineColor(color) : Chart.BackColor);
            cairo_set_line_width(Cr, light ? 1 : 1.5);
            cairo_stroke(Cr);
            angle += sweep;
        }
        SetFont(Cr, kTextSize, true);
        angle = -kPi / 2;
        for (size_t i = 0; i < values.size(); ++i) {
            const double share = values[i] / total;
            const double middle = angle + share * kPi;
            angle += share * 2 * kPi;
            if (share < kLabelledShare) continue;
            const double distance = share >= 1 ? 0 : radius * 0.62;
            char text[16];
            std::snprintf(text, sizeof text, "%.0f%%", share * 100);
            SetGray(Cr, 0.1);
            ShowText(text, cx + distance * std::cos(middle), cy + distance * std::sin(middle) + 5, 0.5, true);
        }
    }

    cairo_t* Cr;
    const TChartSVG& Chart;
    TChartLayout& Layout;
};

struct TPngImageFree {
    void operator()(png_image* image) const { png_image_free(image); }
};

} // namespace

TCairoSurfacePtr DrawChart(const TChartSVG& chart, TChartLayout* layout) {
    TCairoSurfacePtr surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kChartWidth * kRasterScale, kChartHeight * kRasterScale));
    TCairoPtr cr(cairo_create(surface.get()));
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_GOOD);
    cairo_scale(cr.get(), kRasterScale, kRasterScale);
    // Text widths independent of the pixel grid, so that the layout holds at any scale.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr.get(), options);
    cairo_font_options_destroy(options);
    TChartLayout scratch;
    TChartPainter(cr.get(), chart, layout ? *layout : scratch).Paint();
    cairo_surface_flush(surface.get());
    return surface;
}

void RenderChartPng(const TChartSVG& chart, const std::string& fileName) {
    const TCairoSurfacePtr surface = DrawChart(chart);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw EReportWriteError("cannot draw the chart " + fileName);

    // Cairo keeps pixels as native 32-bit words 0x00RRGGBB; PNG wants bytes R, G, B.
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const int width = cairo_image_surface_get_width(surface.get());
    const int height = cairo_image_surface_get_height(surface.get());
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        unsigned char* out = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            *out++ = static_cast<unsigned char>(row[x] >> 16);
            *out++ = static_cast<unsigned char>(row[x] >> 8);
            *out++ = static_cast<unsigned char>(row[x]);
        }
    }

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // Charts are flat colour: the fastest compression costs little in size.
    image.flags = PNG_IMAGE_FLAG_FAST;
    std::unique_ptr<png_image, TPngImageFree> guard(&image);
    if (!png_image_write_to_file(&image, fileName.c_str(), 0, rgb.data(), width * 3, nullptr))
        throw EReportWriteError("cannot write " + fileName + ": " + image.message);
}

void ReleaseChartCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}
