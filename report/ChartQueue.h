#pragma once
// Chart pictures drawn on threads of their own while the report's pages are written.

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class TChartSVG;

class TChartQueue {
public:
    // Draws on up to threads threads at once (at least one).
    explicit TChartQueue(int threads) : MaxThreads(threads < 1 ? 1 : threads) {}
    TChartQueue(const TChartQueue&) = delete;
    TChartQueue& operator=(const TChartQueue&) = delete;
    // Drops the charts not drawn yet and waits for the one in hand.
    ~TChartQueue();

    // Draws chart into fileName (PNG). The chart must not change any more.
    void Add(std::shared_ptr<const TChartSVG> chart, std::string fileName);
    // Waits until every chart handed is drawn; throws the first failure.
    void Finish();

private:
    void Run();

    std::mutex Mutex;
    std::condition_variable Waiting; // a chart was handed, or the queue stops
    std::condition_variable Drawn;   // the queue ran empty
    std::deque<std::pair<std::shared_ptr<const TChartSVG>, std::string>> Charts;
    std::exception_ptr Failure;
    int Drawing = 0; // charts in hand
    bool Stopping = false;
    const size_t MaxThreads;
    std::vector<std::thread> Threads; // one more with each chart handed, up to MaxThreads
};
