#pragma once
// Raster charts: cairo draws a chart laid out on a 480 x 300 page in Liberation Sans at
// twice that size in pixels (sharp on dense screens), and libpng writes it as a PNG file.

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TChartSVG;

// The page a chart is laid out on, in CSS pixels; the SVG picture uses the same page.
constexpr int kChartWidth = 480;
constexpr int kChartHeight = 300;
// Pixels of the raster picture per page unit.
constexpr int kRasterScale = 2;

struct TCairoSurfaceFree {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct TCairoFree {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using TCairoSurfacePtr = std::unique_ptr<cairo_surface_t, TCairoSurfaceFree>;
using TCairoPtr = std::unique_ptr<cairo_t, TCairoFree>;

// A text the renderer placed, with its box in page units.
struct TChartTextBox {
    std::string Text;
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Where the renderer put things: every text, and the value axis it drew.
struct TChartLayout {
    std::vector<TChartTextBox> Texts;
    int64_t AxisMin = 0, AxisTop = 0, AxisStep = 1;
};

// Draws chart onto an opaque image surface of kChartWidth x kChartHeight page units at
// kRasterScale; fills *layout when given.
TCairoSurfacePtr DrawChart(const TChartSVG& chart, TChartLayout* layout = nullptr);
// Draws chart and writes it as an 8-bit RGB PNG. Throws EReportWriteError.
void RenderChartPng(const TChartSVG& chart, const std::string& fileName);
// Frees the font and drawing caches that charts leave for the rest of the process; called
// once at program end, when no chart is drawn any more.
void ReleaseChartCaches();
