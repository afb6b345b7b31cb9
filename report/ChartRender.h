#pragma once
// Raster charts: cairo draws a chart as a 600 x 300 picture in Liberation Sans (bars,
// 3-pixel lines or a pie of radius 100), and libpng writes it as a PNG file.

#include <cairo.h>

#include <memory>
#include <string>

class TChartSVG;

constexpr int kRasterWidth = 600;
constexpr int kRasterHeight = 300;

struct TCairoSurfaceFree {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct TCairoFree {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using TCairoSurfacePtr = std::unique_ptr<cairo_surface_t, TCairoSurfaceFree>;
using TCairoPtr = std::unique_ptr<cairo_t, TCairoFree>;

// Draws chart onto an opaque image surface of kRasterWidth x kRasterHeight.
TCairoSurfacePtr DrawChart(const TChartSVG& chart);
// Draws chart and writes it as an 8-bit RGB PNG. Throws EReportWriteError.
void RenderChartPng(const TChartSVG& chart, const std::string& fileName);
// Frees the font and drawing caches that charts leave for the rest of the process; called
// once at program end, when no chart is drawn any more.
void ReleaseChartCaches();
