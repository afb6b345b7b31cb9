// The whole analysis of a generated combined log of a million lines: reading, parsing,
// visits, closing passes and the 31 views, as one report job runs it (no DNS, no filter),
// on one thread alone and spread over one and two workers.

#include "core/u_loganalyser.h"
#include "profile/u_qvprofile.h"
#include "sources/FileUtils.h"
#include "sources/SpecialFolders.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>

namespace {

// The log of the peers' figures: genlog.py --lines N --seed 1, made once per size.
std::string GeneratedLog(int lines) {
    const std::string folder = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                               "/quorvel-bench-log-" + std::to_string(lines) + "/";
    const std::string file = folder + "access.log";
    if (FileExists(file)) return folder;
    const std::string script = std::string(QUORVEL_SHARED_BENCH_DIR) + "genlog.py";
    if (!FileExists(script)) return {};
    std::filesystem::create_directories(folder);
    const std::string command =
        "python3 " + script + " --lines " + std::to_string(lines) + " --seed 1 --out " + file + " >/dev/null";
    return std::system(command.c_str()) == 0 ? folder : std::string();
}

void BM_AnalyserRun(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const int workers = static_cast<int>(state.range(1));
    const std::string folder = GeneratedLog(lines);
    if (folder.empty()) {
        state.SkipWithError("genlog.py not found next to the project (../shared/bench)");
        return;
    }
    const std::string data = folder + "data/";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    SetAppIdentity("Corvantis", "Quorvel", "Quorvel Help.chm");
    TQVProfile profile;
    profile.InitNew();
    profile.SetName("bench");
    profile.Save();
    profile.Load("bench");
    profile.LogPaths = {folder};
    profile.OpenExt = true;
    profile.LogExts = "log;";
    for (auto _ : state) {
        TLogAnalyser analyser(profile);
        analyser.ReadOnSecondThread = workers != 0;
        analyser.Workers = workers;
        benchmark::DoNotOptimize(analyser.Run());
        analyser.SortAll();
        state.counters["visits"] = analyser.Visits;
        state.counters["hits"] = analyser.Hits;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * lines);
}
BENCHMARK(BM_AnalyserRun)
    ->ArgsProduct({{1000000}, {0, 1, 2}})
    ->ArgNames({"lines", "workers"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
