#pragma once
// Charts of every type built from fixed data, shared by the raster and SVG chart tests,
// and the checks both make on the boxes of the texts a renderer placed.

#include "report/u_chartsvg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct TChartSample {
    const char* Name;
    uint8_t Type;
    int Series;         // series of a bar or line chart, or slices of a pie
    bool LongNames;     // names and labels far longer than the picture has room for
    int64_t AxisMin;    // the value axis' lowest line (bar and line charts)
    TChartColor Color5; // the fifth series colour
};

// Bars start at 0 however high the smallest bar; lines keep a range near their values;
// pies of many slices with long names; a yellow fifth series on white.
inline const TChartSample kChartSamples[] = {
    {"hours", kChartBar, 1, false, 0, 0x00FFFF},         {"daily-bars", kChartBar, 3, true, 0, 0x00FFFF},
    {"daily-lines", kChartLine, 6, true, 800, 0x00FFFF}, {"browsers", kChartPie, 7, true, 0, 0x00FFFF},
    {"one-slice", kChartPie, 1, false, 0, 0x00FFFF},
};

inline void BuildSample(TChartSVG& chart, const TChartSample& sample) {
    chart.ChartType = sample.Type;
    chart.Title =
        sample.LongNames ? "Share of visits by browser over the whole period of the report" : "Visits by hour";
    chart.BackColor = 0xFFFFFF;
    chart.CategoryAxis.Title = "Hour";
    chart.CategoryAxis.RotateLabels = true;
    chart.ValueAxis.Title = "Visits";
    const TChartColor colors[] = {0xA77940, 0x2B8EF2, 0x5759E1, 0xB2B776, sample.Color5, 0xA14FB0};
    if (sample.Type == kChartPie) {
        // The largest entry first, then a run of small ones that end in the gathered sixth.
        const int32_t values[] = {206, 60, 40, 30, 6, 5, 3, 2};
        for (int i = 0; i < sample.Series + (sample.Series > 1 ? 1 : 0); ++i) {
            const std::string name = sample.LongNames ? "[GB] UNITED KINGDOM OF GREAT BRITAIN " + std::to_string(i)
                                                      : "Browser " + std::to_string(i);
            AddShareEntry(chart, values[i], name, "Others (%s)");
        }
    } else {
        for (int s = 0; s < sample.Series; ++s) {
            TChartSerie* serie = chart.AddSerie();
            serie->Name =
                sample.LongNames ? "/a/rather/long/path/to/page-number-" + std::to_string(s) + ".html" : "visits";
            const int slots = sample.Series == 1 ? 24 : 30;
            for (int x = 0; x < slots; ++x) {
                char label[40];
                if (sample.LongNames)
                    std::snprintf(label, sizeof label, "%02d/Mar/2026", x + 1);
                else
                    std::snprintf(label, sizeof label, "%02d", x);
                // 103 to 247, or 1,000 to 1,570: the smallest value is far from zero.
                const int32_t y = sample.LongNames ? 1000 + 40 * s + 37 * ((x * 7 + s) % 11) : 103 + 6 * ((x * 5) % 25);
                serie->AddPointAt(x, y, label);
            }
        }
    }
    for (int i = 0; i < chart.SerieCount(); ++i)
        chart.SerieAt(i)->Color = i < 6 ? colors[i] : kChartSilver;
    chart.FitValueRange();
}

struct TTextBox {
    std::string Text;
    double Left, Top, Right, Bottom;
};

// Every box lies inside the width x height picture and no two boxes overlap.
inline void ExpectInsideAndApart(const std::vector<TTextBox>& boxes, double width, double height) {
    EXPECT_FALSE(boxes.empty());
    for (size_t i = 0; i < boxes.size(); ++i) {
        const TTextBox& a = boxes[i];
        EXPECT_TRUE(a.Left >= 0 && a.Top >= 0 && a.Right <= width && a.Bottom <= height)
            << "\"" << a.Text << "\" at " << a.Left << "," << a.Top << " - " << a.Right << "," << a.Bottom;
        for (size_t j = i + 1; j < boxes.size(); ++j) {
            const TTextBox& b = boxes[j];
            const bool apart = a.Right <= b.Left || b.Right <= a.Left || a.Bottom <= b.Top || b.Bottom <= a.Top;
            EXPECT_TRUE(apart) << "\"" << a.Text << "\" overlaps \"" << b.Text << "\"";
        }
    }
}
