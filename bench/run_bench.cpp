// Figures for the largest run the window can start: 199 task files of 255 data lines each.
#include "analysis.h"
#include "dat_run.h"
#include "study.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dozorira::bench::Study;

const Study& study() {
    static const Study s(fs::temp_directory_path() / "dozorira-bench");
    return s;
}

void BM_RunOf199Files(benchmark::State& state) {
    const Study& s = study();
    const std::string output = (s.dir / "out.dat").string();
    for (auto _ : state) {
        dozorira::output::DatRun run(output, {});
        run.run(s.files);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(s.files.size()));
}
BENCHMARK(BM_RunOf199Files)->Unit(benchmark::kMillisecond);

void BM_AnalyseOneFile(benchmark::State& state) {
    const Study& s = study();
    for (auto _ : state)
        benchmark::DoNotOptimize(dozorira::analyseTaskFile(s.files.front()));
}
BENCHMARK(BM_AnalyseOneFile)->Unit(benchmark::kMicrosecond);

} // namespace

// "--write-study DIR [COUNT]" only writes COUNT task files (199 unless given), for the end-to-end
// figures of the scripts; "--window-run OUTPUT TASKFILE..." writes the .dat as the window's
// Compute & save does, once, for the instruction counts of bench/instructions.sh.
int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--write-study") {
        const Study s(argv[2], argc == 4 ? std::stoi(argv[3]) : 199);
        return 0;
    }
    if (argc >= 4 && std::string(argv[1]) == "--window-run") {
        dozorira::output::DatRun run(argv[2], {});
        run.run({argv + 3, argv + argc});
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
