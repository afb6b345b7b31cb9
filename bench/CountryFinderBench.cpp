// Country lookups over random addresses with the full range tables, and loading them:
// every new visit looks its country up, every analyser creation reloads the tables.

#include "core/u_countryfinder.h"
#include "sources/SpecialFolders.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

std::string TablePath(const char* name) {
    return ProgramFolder() + "static/" + name;
}

// Loaded once; null when the tables are missing.
const TCountryFinder* Finder() {
    static const TCountryFinder* const finder = []() -> const TCountryFinder* {
        if (!std::filesystem::exists(TablePath("ip-to-country.csv"))) return nullptr;
        static TCountryFinder loaded;
        loaded.Load(TablePath("ip-to-country.csv"));
        loaded.LoadIPv6(TablePath("ip6-to-country.csv"));
        return &loaded;
    }();
    return finder;
}

const char* const kMissing = "no static/ip-to-country.csv in the program folder; run tools/build_country_tables.py";

std::vector<uint32_t> RandomIPv4(size_t count) {
    std::mt19937 rng(42);
    std::vector<uint32_t> ips(count);
    for (auto& ip : ips)
        ip = rng();
    return ips;
}

template <class TLookup> void LookupIPv4(benchmark::State& state, TLookup lookup) {
    const TCountryFinder* finder = Finder();
    if (!finder) {
        state.SkipWithError(kMissing);
        return;
    }
    const auto ips = RandomIPv4(1 << 16);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lookup(*finder, ips[i]));
        i = (i + 1) & (ips.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CountryOf(benchmark::State& state) {
    LookupIPv4(state, [](const TCountryFinder& f, uint32_t ip) { return f.CountryOf(ip); });
}
BENCHMARK(BM_CountryOf);

// The plain walk of the first-octet bucket in file order, for comparison.
void BM_CountryOfByScan(benchmark::State& state) {
    LookupIPv4(state, [](const TCountryFinder& f, uint32_t ip) { return f.CountryOfByScan(ip); });
}
BENCHMARK(BM_CountryOfByScan);

// Addresses inside random IPv6 ranges of the table (uniformly random ones would nearly all miss).
void BM_CountryOfIPv6(benchmark::State& state) {
    const TCountryFinder* finder = Finder();
    if (!finder || finder->Ranges6().empty()) {
        state.SkipWithError(kMissing);
        return;
    }
    std::mt19937_64 rng(42);
    std::vector<TIPv6Address> addresses(1 << 16);
    for (auto& a : addresses) {
        const TCountryItem6& item = finder->Ranges6()[rng() % finder->Ranges6().size()];
        a = item.StartIP;
        const uint64_t span = item.EndIP.Lo - item.StartIP.Lo; // within the range's first 2^64 addresses
        if (item.EndIP.Hi == item.StartIP.Hi && span != UINT64_MAX) a.Lo += rng() % (span + 1);
    }
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(finder->CountryOfIPv6(addresses[i]));
        i = (i + 1) & (addresses.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CountryOfIPv6);

void BM_LoadTables(benchmark::State& state) {
    if (!Finder()) {
        state.SkipWithError(kMissing);
        return;
    }
    TCountryFinder finder;
    for (auto _ : state) {
        finder.Load(TablePath("ip-to-country.csv"));
        finder.LoadIPv6(TablePath("ip6-to-country.csv"));
    }
}
BENCHMARK(BM_LoadTables)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
