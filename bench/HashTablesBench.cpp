// The hash tables under the per-line lookups: view rows found by path-like texts, and the
// open-visit table's insert/remove churn.

#include "core/HashTables.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// Distinct request paths of 20 to 80 bytes, such as "/blog/2024/archive/page-1234.html".
std::vector<std::string> MakePaths(size_t count, unsigned seed) {
    const char* const words[] = {"blog",   "images", "assets", "api",     "v1",       "docs",  "downloads",
                                 "static", "css",    "js",     "archive", "products", "users", "2024"};
    const char* const exts[] = {".html", ".php", ".jpg", ".png", ".css", ".js", "/", ".pdf"};
    std::mt19937 rng(seed);
    std::unordered_set<std::string> seen;
    std::vector<std::string> paths;
    while (paths.size() < count) {
        std::string path;
        const unsigned depth = 1 + rng() % 5;
        for (unsigned d = 0; d < depth; ++d)
            path += std::string("/") + words[rng() % 14];
        path += "/page-" + std::to_string(rng() % 1000000) + exts[rng() % 8];
        if (rng() % 3 == 0) path += "?id=" + std::to_string(rng() % 100000);
        if (path.size() < 20 || path.size() > 80 || !seen.insert(path).second) continue;
        paths.push_back(std::move(path));
    }
    return paths;
}

struct TRow {
    int Hits = 0;
};

constexpr size_t kDistinctKeys = 100000;

// Looks up existing keys (arg 1) or absent ones (arg 0) in a table of 100,000 rows.
void BM_StringTableLookup(benchmark::State& state) {
    const bool hits = state.range(0) != 0;
    std::vector<std::string> all = MakePaths(2 * kDistinctKeys, 11);
    std::vector<TRow> rows(kDistinctKeys);
    TStringTable<TRow> table;
    for (size_t i = 0; i < kDistinctKeys; ++i)
        table.Add(all[i], &rows[i]);
    // The probed texts lie one after another, as a freshly parsed field would be in cache.
    std::vector<std::string> order(all.begin() + (hits ? 0 : kDistinctKeys),
                                   all.begin() + (hits ? kDistinctKeys : 2 * kDistinctKeys));
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    std::string buffer;
    for (const std::string& text : order)
        buffer += text;
    std::vector<std::string_view> probes;
    for (size_t at = 0; const std::string& text : order) {
        probes.emplace_back(buffer.data() + at, text.size());
        at += text.size();
    }
    size_t i = 0, found = 0;
    for (auto _ : state) {
        TRow* row = table.Value(probes[i]);
        found += row != nullptr;
        benchmark::DoNotOptimize(row);
        if (++i == probes.size()) i = 0;
    }
    if (static_cast<int64_t>(found) != (hits ? state.iterations() : 0)) state.SkipWithError("wrong lookup result");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_StringTableLookup)->ArgName("hit")->Arg(1)->Arg(0);

// The string hash alone over the same texts.
void BM_StrHash(benchmark::State& state) {
    const std::vector<std::string> paths = MakePaths(4096, 3);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TStringTableBase::StrHash(paths[i++ & 4095]));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_StrHash);

// Open visits: ~20,000 live entries keyed by host hashes; each step looks the new host up
// (a miss), inserts it and removes the oldest visit. Args: initial capacity (0 keeps the
// default 256 and lets it grow, 80000 is what the analyser sets), steps run before timing.
// Removed-slot markers build up over time, so the step count is fixed.
void BM_HashTableChurn(benchmark::State& state) {
    constexpr size_t kLive = 20000, kKeys = 1 << 20;
    std::mt19937 rng(9);
    std::vector<int> keys(kKeys);
    for (int& key : keys) {
        const std::string host = std::to_string(rng() % 223 + 1) + "." + std::to_string(rng() % 256) + "." +
                                 std::to_string(rng() % 256) + "." + std::to_string(rng() % 256);
        key = TStringTableBase::StrHash(host);
    }
    TRow visit;
    THashTable<TRow> table;
    if (state.range(0) > 0) table.SetCapacity(static_cast<int>(state.range(0)));
    size_t next = 0, oldest = 0;
    auto step = [&] {
        const int key = keys[next++ & (kKeys - 1)];
        benchmark::DoNotOptimize(table.Find(key));
        table.Insert(key, &visit);
        if (table.Count() > static_cast<int>(kLive))
            benchmark::DoNotOptimize(table.Remove(keys[oldest++ & (kKeys - 1)]));
    };
    for (int64_t w = 0; w < state.range(1); ++w)
        step();
    for (auto _ : state)
        step();
    state.counters["capacity"] = table.Capacity();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_HashTableChurn)
    ->ArgNames({"cap", "warmup"})
    ->Args({0, 0})
    ->Args({0, 2000000})
    ->Args({80000, 0})
    ->Args({80000, 2000000})
    ->Iterations(500000);

} // namespace
