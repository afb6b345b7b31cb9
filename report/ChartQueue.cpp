#include "report/ChartQueue.h"

#include "report/u_chartsvg.h"

TChartQueue::~TChartQueue() {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Stopping = true;
        Charts.clear();
    }
    Waiting.notify_all();
    for (std::thread& thread : Threads)
        thread.join();
}

void TChartQueue::Add(std::shared_ptr<const TChartSVG> chart, std::string fileName) {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        // After a failure the report is lost anyway: nothing more is drawn.
        if (Failure) return;
        Charts.emplace_back(std::move(chart), std::move(fileName));
        if (Threads.size() < MaxThreads) Threads.emplace_back([this] { Run(); });
    }
    Waiting.notify_one();
}

void TChartQueue::Finish() {
    std::unique_lock<std::mutex> lock(Mutex);
    Drawn.wait(lock, [this] { return (Charts.empty() && Drawing == 0) || Failure; });
    if (Failure) std::rethrow_exception(Failure);
}

void TChartQueue::Run() {
    std::unique_lock<std::mutex> lock(Mutex);
    for (;;) {
        Waiting.wait(lock, [this] { return Stopping || !Charts.empty(); });
        if (Stopping) return;
        auto [chart, fileName] = std::move(Charts.front());
        Charts.pop_front();
        ++Drawing;
        lock.unlock();
        std::exception_ptr failure;
        try {
            chart->RenderRaster(fileName);
        } catch (...) {
            failure = std::current_exception();
        }
        chart.reset();
        lock.lock();
        --Drawing;
        if (failure && !Failure) {
            Failure = failure;
            Charts.clear();
        }
        if (Charts.empty() && Drawing == 0) Drawn.notify_all();
    }
}
