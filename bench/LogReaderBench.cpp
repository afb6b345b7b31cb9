// Reading a large combined log through TLogFileReader, plain and gzipped, beside a bare gzread
// loop over the same gzip file: the reader's share of the per-line cost of every report.

#include "sources/LogReader.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr size_t kLogBytes = size_t{256} << 20;
constexpr unsigned kGzipBlock = 256 * 1024;

using TGzHandle = std::unique_ptr<gzFile_s, decltype(&gzclose)>;

// Realistic combined-log lines: long agents, https referrers, query strings.
class TLineMaker {
public:
    void Append(std::string& out) {
        static const char* const kAgents[] = {
            "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
            "Safari/537.36",
            "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
            "Version/17.1 Mobile/15E148 Safari/604.1",
            "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
            "Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0", "curl/8.4.0"};
        static const char* const kReferrers[] = {"-", "https://www.google.com/search?q=web+log+analysis&hl=en",
                                                 "https://example.org/blog/2024/03/some-article-title/",
                                                 "https://duckduckgo.com/?q=access%20log%20report"};
        static const char* const kPaths[] = {"/index.html",
                                             "/blog/2024/03/some-article-title/",
                                             "/assets/css/site.min.css?v=1710000000",
                                             "/images/photos/holiday%20beach.jpg",
                                             "/search.php?q=log+files&page=2&sort=date",
                                             "/api/v1/items/12345?fields=name,price",
                                             "/favicon.ico"};
        static const char* const kStatuses[] = {"200", "200", "200", "304", "404", "206", "301", "500"};
        char line[1024];
        const int n = std::snprintf(line, sizeof line,
                                    "%u.%u.%u.%u - - [%02u/Mar/2024:%02u:%02u:%02u +0100] \"GET %s HTTP/1.1\" %s %u "
                                    "\"%s\" \"%s\"\n",
                                    R(223) + 1, R(256), R(256), R(256), R(28) + 1, R(24), R(60), R(60), kPaths[R(7)],
                                    kStatuses[R(8)], R(200000), kReferrers[R(4)], kAgents[R(5)]);
        out.append(line, static_cast<size_t>(n));
    }

private:
    unsigned R(unsigned n) { return static_cast<unsigned>(Rng() % n); }
    std::mt19937 Rng{7};
};

// The plain log and its gzip copy, generated once into a scratch folder that also serves as the
// reader's temporary folder, and removed at exit.
struct TBenchLogs {
    std::string Folder, Plain, Gzip;
    int64_t Bytes = 0;

    TBenchLogs() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvel-bench-XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
        Folder = pattern + "/";
        setenv("TMPDIR", Folder.c_str(), 1);
        Plain = Folder + "access.log";
        Gzip = Folder + "access.log.gz";

        std::unique_ptr<FILE, int (*)(FILE*)> plain(std::fopen(Plain.c_str(), "wb"), std::fclose);
        TGzHandle gz(gzopen(Gzip.c_str(), "wb6"), gzclose);
        if (!plain || !gz) throw std::runtime_error("cannot write the benchmark logs");
        gzbuffer(gz.get(), kGzipBlock);
        TLineMaker maker;
        std::string block;
        while (static_cast<size_t>(Bytes) < kLogBytes) {
            block.clear();
            while (block.size() < (size_t{1} << 20))
                maker.Append(block);
            std::fwrite(block.data(), 1, block.size(), plain.get());
            gzwrite(gz.get(), block.data(), static_cast<unsigned>(block.size()));
            Bytes += static_cast<int64_t>(block.size());
        }
    }
    ~TBenchLogs() {
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }
};

const TBenchLogs& Logs() {
    static const TBenchLogs logs;
    return logs;
}

void ReportRate(benchmark::State& state, int64_t bytesPerIteration) {
    const auto total = static_cast<int64_t>(state.iterations()) * bytesPerIteration;
    state.SetBytesProcessed(total);
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(total) / 1e6, benchmark::Counter::kIsRate);
}

// Every line of one file through AddLogFile, Rewind and ReadLine.
void ReadThroughReader(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        TLogFileReader reader;
        reader.AddLogFile(path);
        reader.Rewind();
        int64_t lines = 0;
        while (reader.ReadLine()) {
            benchmark::DoNotOptimize(reader.CurrentLine.data());
            ++lines;
        }
        state.counters["lines"] = static_cast<double>(lines);
    }
}

void BM_ReadLinePlain(benchmark::State& state) {
    const TBenchLogs& logs = Logs();
    ReadThroughReader(state, logs.Plain);
    ReportRate(state, logs.Bytes);
}
BENCHMARK(BM_ReadLinePlain)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Includes expanding the file into the temporary folder, as a report does.
void BM_ReadLineGzip(benchmark::State& state) {
    const TBenchLogs& logs = Logs();
    ReadThroughReader(state, logs.Gzip);
    ReportRate(state, logs.Bytes);
}
BENCHMARK(BM_ReadLineGzip)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// zlib alone: the bound for the gzip case.
void BM_RawGzread(benchmark::State& state) {
    const TBenchLogs& logs = Logs();
    std::vector<char> block(kGzipBlock);
    for (auto _ : state) {
        TGzHandle gz(gzopen(logs.Gzip.c_str(), "rb"), gzclose);
        gzbuffer(gz.get(), kGzipBlock);
        while (gzread(gz.get(), block.data(), kGzipBlock) > 0)
            benchmark::DoNotOptimize(block.data());
    }
    ReportRate(state, logs.Bytes);
}
BENCHMARK(BM_RawGzread)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
