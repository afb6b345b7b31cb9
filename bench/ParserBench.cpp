// Parsing a combined-log line and building its entry: the per-line cost of every report.

#include "core/CParser.h"
#include "core/LogEntry.h"
#include "sources/CUtils.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

const char* const kDefaultFormat = "%H %x %u [%d/%m/%y:%h:%n:%s %z] \"%M %f %x\" %c %b \"%r\" \"%a\"";

// Realistic combined-log lines: long agents, https referrers, query strings, escapes.
std::vector<std::string> MakeLines(size_t count) {
    const char* const agents[] = {
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
        "Safari/537.36",
        "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
        "Version/17.1 Mobile/15E148 Safari/604.1",
        "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
        "Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0",
        "curl/8.4.0",
    };
    const char* const referrers[] = {"-", "https://www.google.com/search?q=web+log+analysis&hl=en",
                                     "https://example.org/blog/2024/03/some-article-title/",
                                     "https://duckduckgo.com/?q=access%20log%20report", "-"};
    const char* const paths[] = {"/index.html",
                                 "/blog/2024/03/some-article-title/",
                                 "/assets/css/site.min.css?v=1710000000",
                                 "/images/photos/holiday%20beach.jpg",
                                 "/search.php?q=log+files&page=2&sort=date",
                                 "/api/v1/items/12345?fields=name,price",
                                 "/downloads/setup-1.2.3.exe",
                                 "/favicon.ico"};
    const char* const statuses[] = {"200", "200", "200", "304", "404", "206", "301", "500"};
    std::mt19937 rng(7);
    auto r = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
    std::vector<std::string> lines;
    lines.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", r(223) + 1, r(256), r(256), r(256));
        std::string line = buf;
        std::snprintf(buf, sizeof buf, " - - [%02u/Mar/2024:%02u:%02u:%02u +0100] \"GET ", r(28) + 1, r(24), r(60),
                      r(60));
        line += buf;
        line += paths[r(8)];
        line += " HTTP/1.1\" ";
        line += statuses[r(8)];
        line += " " + std::to_string(r(200000)) + " \"";
        line += referrers[r(5)];
        line += "\" \"";
        line += agents[r(5)];
        line += "\"";
        lines.push_back(std::move(line));
    }
    return lines;
}

void BM_SetLineAndAssignFrom(benchmark::State& state) {
    const std::vector<std::string> lines = MakeLines(4096);
    TCParser parser;
    parser.SetFormat(kDefaultFormat);
    TLogEntry entry;
    TLogEntryOptions options{false, 1, 0, DateFromParts("2024", "Mar", "15")};
    size_t i = 0, bytes = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ & 4095];
        parser.SetLine(line);
        entry.AssignFrom(parser, options);
        benchmark::DoNotOptimize(entry.Time);
        bytes += line.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_SetLineAndAssignFrom);

void BM_SetLineOnly(benchmark::State& state) {
    const std::vector<std::string> lines = MakeLines(4096);
    TCParser parser;
    parser.SetFormat(kDefaultFormat);
    size_t i = 0;
    for (auto _ : state) {
        parser.SetLine(lines[i++ & 4095]);
        benchmark::DoNotOptimize(parser.Valid());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_SetLineOnly);

void BM_MatchesMask(benchmark::State& state) {
    const std::vector<std::string> lines = MakeLines(1024);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MatchesMask(lines[i++ & 1023], "*/blog/*[0-9]*"));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_MatchesMask);

} // namespace
