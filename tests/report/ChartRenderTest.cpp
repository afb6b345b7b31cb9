// Raster charts read back from their PNG files: size, background, and the series'
// colours where bars, lines and slices are drawn; and the layout the renderer computed.

#include "report/ChartRender.h"
#include "report/u_chartsvg.h"

#include "ChartSamples.h"

#include "support/TestFolder.h"

#include <png.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Fontconfig keeps its font caches until the process ends; under the leak checker they
// are not this program's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

struct TPicture {
    uint32_t Width = 0, Height = 0;
    std::vector<unsigned char> Rgb;
    // The pixel as 0x00BBGGRR, like chart colours.
    TChartColor At(uint32_t x, uint32_t y) const {
        const unsigned char* p = &Rgb[(static_cast<size_t>(y) * Width + x) * 3];
        return p[0] | p[1] << 8 | p[2] << 16;
    }
    size_t Count(TChartColor color) const {
        size_t n = 0;
        for (uint32_t y = 0; y < Height; ++y)
            for (uint32_t x = 0; x < Width; ++x)
                n += At(x, y) == color;
        return n;
    }
};

TPicture ReadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    TPicture picture;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
    image.format = PNG_FORMAT_RGB;
    picture.Rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, picture.Rgb.data(), 0, nullptr)) {
        picture.Width = image.width;
        picture.Height = image.height;
    }
    png_image_free(&image);
    return picture;
}

constexpr TChartColor kBack = 0xF0FFFF; // light yellow
constexpr TChartColor kRed = 0x0000FF;
constexpr TChartColor kBlue = 0xFF0000;

// A chart of two series over the 24 hours, or a pie of two slices 1 : 3.
TPicture Render(uint8_t type, TTestFolder& folder, const char* name) {
    TChartSVG chart;
    chart.ChartType = type;
    chart.Title = "Visits per hour";
    chart.BackColor = kBack;
    chart.CategoryAxis.Title = "Hour";
    chart.ValueAxis.Title = "Visits";
    TChartSerie* a = chart.AddSerie();
    a->Name = "pages";
    a->Color = kRed;
    TChartSerie* b = chart.AddSerie();
    b->Name = "images";
    b->Color = kBlue;
    for (int h = 0; h < 24; ++h) {
        char label[3];
        std::snprintf(label, sizeof label, "%02d", h);
        a->AddLabelledPoint(type == kChartPie ? 1 : 100 + 40 * (h % 6), label);
        b->AddPointAt(h, type == kChartPie ? 3 : 50);
    }
    chart.FitValueRange();
    const std::string path = folder.Path() + name;
    chart.RenderRaster(path);
    return ReadPng(path);
}

} // namespace

TEST(ChartRenderTest, BarsAndLinesAreDrawnInTheirSeriesColours) {
    TTestFolder folder;
    for (uint8_t type : {kChartBar, kChartLine}) {
        SCOPED_TRACE(type);
        const TPicture picture = Render(type, folder, type == kChartBar ? "bar.png" : "line.png");
        // Twice the page size, for sharp pictures on dense screens.
        ASSERT_EQ(picture.Width, 960u);
        ASSERT_EQ(picture.Height, 600u);
        EXPECT_EQ(picture.At(0, 0), kBack);
        EXPECT_EQ(picture.At(959, 599), kBack);
        // The red series is the taller one: it has more pixels than the blue one.
        EXPECT_GT(picture.Count(kRed), 300u);
        EXPECT_GT(picture.Count(kBlue), 300u);
        if (type == kChartBar) {
            EXPECT_GT(picture.Count(kRed), picture.Count(kBlue));
        }
    }
}

TEST(ChartRenderTest, PieSlicesShareTheCircleByTheirSums) {
    TTestFolder folder;
    const TPicture picture = Render(kChartPie, folder, "pie.png");
    ASSERT_EQ(picture.Width, 960u);
    const double red = static_cast<double>(picture.Count(kRed));
    const double blue = static_cast<double>(picture.Count(kBlue));
    // A radius of 95 page units (190 pixels), split 1 : 3 (edges are anti-aliased, the
    // shares written on the slices cover a little).
    EXPECT_NEAR(red + blue, 3.14159 * 190 * 190, 6000);
    EXPECT_NEAR(blue / red, 3.0, 0.2);
}

TEST(ChartRenderTest, AxisStartsAtZeroForBarsAndTextsStayInsideAndApart) {
    for (const TChartSample& sample : kChartSamples) {
        SCOPED_TRACE(sample.Name);
        TChartSVG chart;
        BuildSample(chart, sample);
        TChartLayout layout;
        DrawChart(chart, &layout);
        if (sample.Type != kChartPie) {
            EXPECT_EQ(layout.AxisMin, sample.AxisMin);
            EXPECT_GE(layout.AxisTop, chart.ValueAxis.Max);
            // Round steps: 1, 2 or 5 times a power of ten.
            int64_t step = layout.AxisStep;
            while (step % 10 == 0)
                step /= 10;
            EXPECT_TRUE(step == 1 || step == 2 || step == 5) << layout.AxisStep;
        }
        std::vector<TTextBox> boxes;
        for (const TChartTextBox& t : layout.Texts)
            boxes.push_back({t.Text, t.Left, t.Top, t.Right, t.Bottom});
        ExpectInsideAndApart(boxes, kChartWidth, kChartHeight);
    }
}

TEST(ChartRenderTest, AnUnwritableFileIsAnError) {
    TChartSVG chart;
    EXPECT_THROW(chart.RenderRaster("/nonexistent-folder/chart.png"), EReportWriteError);
}
