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
constexpr double kPieRadius = 100;

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

// Shows text with its baseline at y; align 0 left, 0.5 centred, 1 right of x.
void ShowText(cairo_t* cr, const std::string& text, double x, double y, double align) {
    cairo_move_to(cr, x - TextWidth(cr, text) * align, y);
    cairo_show_text(cr, text.c_str());
}

// Shows text turned to read upwards, centred on (x, y) along its length.
void ShowTurnedText(cairo_t* cr, const std::string& text, double x, double y, double align) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -kPi / 2);
    ShowText(cr, text, 0, 0, align);
    cairo_restore(cr);
}

// A step of 1, 2 or 5 times a power of ten giving about five grid lines.
int64_t NiceStep(int64_t span) {
    const double raw = std::max(1.0, static_cast<double>(span) / 5);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * magnitude >= raw) return std::max<int64_t>(1, static_cast<int64_t>(factor * magnitude));
    }
    return static_cast<int64_t>(10 * magnitude);
}

class TChartPainter {
public:
    TChartPainter(cairo_t* cr, const TChartSVG& chart) : Cr(cr), Chart(chart) {}

    void Paint() {
        SetColor(Cr, Chart.BackColor);
        cairo_paint(Cr);
        double top = 10;
        if (!Chart.Title.empty()) {
            SetFont(Cr, 13, true);
            SetGray(Cr, 0);
            ShowText(Cr, Fit(Cr, Chart.Title, kRasterWidth - 20), kRasterWidth / 2.0, 20, 0.5);
            top = 34;
        }
        double right = kRasterWidth - 12;
        if (Chart.LegendShown(true)) right = PaintLegend(top) - 12;
        const TRect area{10, top, right, kRasterHeight - 8.0};
        if (Chart.ChartType == kChartPie)
            PaintPie(area);
        else
            PaintAxesAndSeries(area);
    }

private:
    // Legend at the right edge, centred vertically; returns its left edge.
    double PaintLegend(double top) {
        SetFont(Cr, 11, false);
        std::vector<std::string> names;
        double width = 0;
        for (const auto& serie : Chart.Series) {
            names.push_back(Fit(Cr, serie->Name, 140));
            width = std::max(width, TextWidth(Cr, names.back()));
        }
        const double rowHeight = 17;
        const double boxWidth = width + 34;
        const double boxHeight = rowHeight * static_cast<double>(names.size()) + 10;
        const double left = kRasterWidth - 10 - boxWidth;
        const double boxTop = std::max(top, (top + kRasterHeight - boxHeight) / 2);
        cairo_set_line_width(Cr, 1);
        SetGray(Cr, 0.8);
        cairo_rectangle(Cr, std::round(left) + 0.5, std::round(boxTop) + 0.5, std::round(boxWidth),
                        std::round(boxHeight));
        cairo_stroke(Cr);
        for (size_t i = 0; i < names.size(); ++i) {
            const double y = boxTop + 5 + rowHeight * static_cast<double>(i);
            SetColor(Cr, Chart.Series[i]->Color);
            cairo_rectangle(Cr, std::round(left + 9), std::round(y + 3), 11, 11);
            cairo_fill(Cr);
            SetGray(Cr, 0.1);
            ShowText(Cr, names[i], left + 26, y + 13, 0);
        }
        return left;
    }

    void PaintAxesAndSeries(TRect area) {
        // Value range: fixed from the axis, never empty.
        const int64_t low = Chart.ValueAxis.Min;
        const int64_t high = std::max<int64_t>(Chart.ValueAxis.Max, low + 1);
        const int64_t step = NiceStep(high - low);

        // Categories: the labels, or as many as the points need.
        const std::vector<std::string>& labels = Chart.CategoryAxis.Labels;
        int32_t categories = static_cast<int32_t>(labels.size());
        for (const auto& serie : Chart.Series)
            for (const TChartPoint& point : serie->Points)
                categories = std::max(categories, point.X + 1);
        categories = std::max(categories, 1);

        SetFont(Cr, 11, true);
        const std::string valueTitle = Fit(Cr, Chart.ValueAxis.Title, area.Height());
        const std::string categoryTitle = Fit(Cr, Chart.CategoryAxis.Title, area.Width());
        if (!valueTitle.empty()) area.Left += 16;
        if (!categoryTitle.empty()) area.Bottom -= 16;

        SetFont(Cr, 10, false);
        std::vector<int64_t> ticks;
        double tickWidth = 0;
        for (int64_t v = (low >= 0 ? (low + step - 1) / step : -((-low) / step)) * step; v <= high; v += step) {
            ticks.push_back(v);
            tickWidth = std::max(tickWidth, TextWidth(Cr, std::to_string(v)));
        }
        TRect plot{area.Left + tickWidth + 6, area.Top + 4, area.Right, area.Bottom};

        size_t longest = 0;
        double labelWidth = 0;
        for (const std::string& label : labels) {
            longest = std::max(longest, label.size());
            labelWidth = std::max(labelWidth, TextWidth(Cr, XmlSafeText(label)));
        }
        const bool turned = Chart.CategoryAxis.RotateLabels && !labels.empty() && longest > 90 / labels.size();
        plot.Bottom -= turned ? std::min(labelWidth, 90.0) + 8 : 16;

        const double slot = plot.Width() / categories;
        auto yOf = [&](double value) {
            return plot.Bottom - (value - static_cast<double>(low)) / static_cast<double>(high - low) * plot.Height();
        };

        // Grid and tick labels.
        cairo_set_line_width(Cr, 1);
        for (int64_t v : ticks) {
            const double y = std::round(yOf(static_cast<double>(v))) + 0.5;
            SetGray(Cr, 0.87);
            cairo_move_to(Cr, plot.Left, y);
            cairo_line_to(Cr, plot.Right, y);
            cairo_stroke(Cr);
            SetGray(Cr, 0.3);
            ShowText(Cr, std::to_string(v), plot.Left - 5, y + 3.5, 1);
        }

        // Category labels, thinned when flat ones would touch.
        SetGray(Cr, 0.3);
        const size_t every = turned ? 1 : std::max<size_t>(1, static_cast<size_t>(std::ceil((labelWidth + 6) / slot)));
        for (size_t i = 0; i < labels.size(); i += every) {
            const double x = plot.Left + slot * (static_cast<double>(i) + 0.5);
            if (turned)
                ShowTurnedText(Cr, Fit(Cr, labels[i], 90), x + 3.5, plot.Bottom + 5, 1);
            else
                ShowText(Cr, Fit(Cr, labels[i], slot * static_cast<double>(every) - 4), x, plot.Bottom + 13, 0.5);
        }

        SetFont(Cr, 11, true);
        SetGray(Cr, 0.1);
        if (!valueTitle.empty()) ShowTurnedText(Cr, valueTitle, area.Left - 6, (plot.Top + plot.Bottom) / 2, 0.5);
        if (!categoryTitle.empty()) ShowText(Cr, categoryTitle, (plot.Left + plot.Right) / 2, area.Bottom + 12, 0.5);

        cairo_save(Cr);
        cairo_rectangle(Cr, plot.Left, plot.Top - 2, plot.Width(), plot.Height() + 2);
        cairo_clip(Cr);
        if (Chart.ChartType == kChartBar) {
            const double baseline = yOf(static_cast<double>(std::clamp<int64_t>(0, low, high)));
            const double group = slot * 0.75;
            const double width = group / static_cast<double>(std::max(1, Chart.SerieCount()));
            for (size_t s = 0; s < Chart.Series.size(); ++s) {
                SetColor(Cr, Chart.Series[s]->Color);
                for (const TChartPoint& point : Chart.Series[s]->Points) {
                    if (point.X < 0) continue;
                    const double x = plot.Left + slot * point.X + (slot - group) / 2 + width * static_cast<double>(s);
                    const double y = yOf(point.Y);
                    cairo_rectangle(Cr, x, std::min(y, baseline), std::max(1.0, width - (width > 4 ? 1 : 0)),
                                    std::fabs(baseline - y));
                }
                cairo_fill(Cr);
            }
        } else if (Chart.ChartType == kChartLine) {
            cairo_set_line_width(Cr, 3);
            cairo_set_line_join(Cr, CAIRO_LINE_JOIN_ROUND);
            cairo_set_line_cap(Cr, CAIRO_LINE_CAP_ROUND);
            for (const auto& serie : Chart.Series) {
                SetColor(Cr, serie->Color);
                bool first = true;
                for (const TChartPoint& point : serie->Points) {
                    const double x = plot.Left + slot * (point.X + 0.5);
                    const double y = yOf(point.Y);
                    if (first) cairo_move_to(Cr, x, y);
                    cairo_line_to(Cr, x, y);
                    first = false;
                }
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

    struct TSliceLabel {
        std::string Text;
        double Angle; // middle of the slice
        double Y;     // where the text sits after spreading
        bool Right;
    };

    void PaintPie(const TRect& area) {
        std::vector<double> values;
        double total = 0;
        for (const auto& serie : Chart.Series) {
            values.push_back(static_cast<double>(std::max<int64_t>(0, serie->SumValues())));
            total += values.back();
        }
        const double cx = (area.Left + area.Right) / 2;
        const double cy = (area.Top + area.Bottom) / 2;
        if (total <= 0) {
            SetGray(Cr, 0.85);
            cairo_arc(Cr, cx, cy, kPieRadius, 0, 2 * kPi);
            cairo_fill(Cr);
            return;
        }

        std::vector<TSliceLabel> labels;
        double angle = -kPi / 2; // from twelve o'clock, clockwise
        SetFont(Cr, 10, false);
        for (size_t i = 0; i < values.size(); ++i) {
            if (values[i] <= 0) continue;
            const double sweep = values[i] / total * 2 * kPi;
            SetColor(Cr, Chart.Series[i]->Color);
            cairo_move_to(Cr, cx, cy);
            cairo_arc(Cr, cx, cy, kPieRadius, angle, angle + sweep);
            cairo_close_path(Cr);
            cairo_fill_preserve(Cr);
            SetColor(Cr, Chart.BackColor);
            cairo_set_line_width(Cr, 1.5);
            cairo_stroke(Cr);
            char percent[32];
            std::snprintf(percent, sizeof percent, " %.1f%%", values[i] / total * 100);
            const double middle = angle + sweep / 2;
            const bool right = std::cos(middle) >= 0;
            const double room = (right ? area.Right - cx : cx - area.Left) - kPieRadius - 24;
            const std::string tail = percent;
            std::string text = Fit(Cr, Chart.Series[i]->Name, room - TextWidth(Cr, tail)) + tail;
            labels.push_back({text, middle, cy + (kPieRadius + 12) * std::sin(middle), right});
            angle += sweep;
        }

        // Labels on each side keep 13 pixels apart, inside the area.
        for (bool side : {false, true}) {
            std::vector<TSliceLabel*> column;
            for (TSliceLabel& label : labels)
                if (label.Right == side) column.push_back(&label);
            std::sort(column.begin(), column.end(), [](auto* a, auto* b) { return a->Y < b->Y; });
            for (size_t k = 1; k < column.size(); ++k)
                column[k]->Y = std::max(column[k]->Y, column[k - 1]->Y + 13);
            const double overflow = column.empty() ? 0 : column.back()->Y - (area.Bottom - 10);
            for (size_t k = 0; overflow > 0 && k < column.size(); ++k)
                column[k]->Y -= overflow;
        }

        cairo_set_line_width(Cr, 1);
        for (const TSliceLabel& label : labels) {
            const double ex = cx + (kPieRadius + 2) * std::cos(label.Angle);
            const double ey = cy + (kPieRadius + 2) * std::sin(label.Angle);
            const double bx = cx + (kPieRadius + 12) * std::cos(label.Angle);
            const double tx = label.Right ? std::max(bx, cx + 40) + 8 : std::min(bx, cx - 40) - 8;
            SetGray(Cr, 0.55);
            cairo_move_to(Cr, ex, ey);
            cairo_line_to(Cr, bx, label.Y);
            cairo_line_to(Cr, tx + (label.Right ? -3 : 3), label.Y);
            cairo_stroke(Cr);
            SetGray(Cr, 0.1);
            ShowText(Cr, label.Text, tx, label.Y + 3.5, label.Right ? 0 : 1);
        }
    }

    cairo_t* Cr;
    const TChartSVG& Chart;
};

struct TPngImageFree {
    void operator()(png_image* image) const { png_image_free(image); }
};

} // namespace

TCairoSurfacePtr DrawChart(const TChartSVG& chart) {
    TCairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kRasterWidth, kRasterHeight));
    TCairoPtr cr(cairo_create(surface.get()));
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_GOOD);
    TChartPainter(cr.get(), chart).Paint();
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
    std::vector<unsigned char> rgb(static_cast<size_t>(kRasterWidth) * kRasterHeight * 3);
    for (int y = 0; y < kRasterHeight; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        unsigned char* out = rgb.data() + static_cast<size_t>(y) * kRasterWidth * 3;
        for (int x = 0; x < kRasterWidth; ++x) {
            *out++ = static_cast<unsigned char>(row[x] >> 16);
            *out++ = static_cast<unsigned char>(row[x] >> 8);
            *out++ = static_cast<unsigned char>(row[x]);
        }
    }

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kRasterWidth;
    image.height = kRasterHeight;
    image.format = PNG_FORMAT_RGB;
    // Charts are flat colour: the fastest compression costs little in size.
    image.flags = PNG_IMAGE_FLAG_FAST;
    std::unique_ptr<png_image, TPngImageFree> guard(&image);
    if (!png_image_write_to_file(&image, fileName.c_str(), 0, rgb.data(), kRasterWidth * 3, nullptr))
        throw EReportWriteError("cannot write " + fileName + ": " + image.message);
}

void ReleaseChartCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}
