#include "report/ChartQueue.h"
#include "report/u_chartsvg.h"

#include "ChartSamples.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::shared_ptr<TChartSVG> SampleChart(const TChartSample& sample) {
    auto chart = std::make_shared<TChartSVG>();
    BuildSample(*chart, sample);
    return chart;
}

} // namespace

// Charts drawn side by side on several threads come out as the ones drawn in place, each
// in its own file, and Finish waits for the last of them.
TEST(ChartQueueTest, ChartsDrawnOnThreadsAreTheOnesDrawnInPlace) {
    TTestFolder folder;
    TChartQueue queue(3);
    for (int round = 0; round < 2; ++round)
        for (const TChartSample& sample : kChartSamples)
            queue.Add(SampleChart(sample), folder.Path() + sample.Name + std::to_string(round) + ".png");
    queue.Finish();
    for (const TChartSample& sample : kChartSamples) {
        const std::string inPlace = folder.Path() + sample.Name + ".png";
        SampleChart(sample)->RenderRaster(inPlace);
        for (int round = 0; round < 2; ++round)
            EXPECT_EQ(TTestFolder::ReadFile(folder.Path() + sample.Name + std::to_string(round) + ".png"),
                      TTestFolder::ReadFile(inPlace))
                << sample.Name << " " << round;
    }
}

// A chart that cannot be written fails the queue's Finish; the queue still ends cleanly with
// charts left in it.
TEST(ChartQueueTest, AChartThatCannotBeWrittenFailsFinish) {
    TTestFolder folder;
    TChartQueue queue(2);
    queue.Add(SampleChart(kChartSamples[0]), folder.Path() + "good.png");
    queue.Add(SampleChart(kChartSamples[1]), "/nonexistent-folder/chart.png");
    for (int i = 0; i < 8; ++i)
        queue.Add(SampleChart(kChartSamples[2]), folder.Path() + "later" + std::to_string(i) + ".png");
    EXPECT_THROW(queue.Finish(), EReportWriteError);
    EXPECT_THROW(queue.Finish(), EReportWriteError);
}
