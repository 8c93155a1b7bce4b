// Figures for the largest run the window can start: 199 task files of 255 data lines each.
#include "analysis.h"
#include "dat_run.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Twelve clusters of 20 trials and one of 15, with found boxes, opened boxes and revisits.
std::string taskFile() {
    std::string file = "Vantry\tbench\r\nrow\tlabel\tboxes\tcode\tfound\ttime\topen\topened\t"
                       "latency\trevisits\r\n";
    for (int line = 0; line < 255; ++line) {
        const int row = line % 20;
        const std::string found(1, static_cast<char>('A' + (line * 7) % 12));
        std::string opened;
        for (int k = 0; k <= row % 9; ++k)
            opened += static_cast<char>('A' + (line + k) % 12);
        file += std::to_string(row) + "\tcluster\t12\t3\t" + found + "\t1520\t" +
                std::to_string(opened.size()) + "\t" + opened + "\t830\t" +
                (row % 3 == 0 ? "" : "3 7") + "\r\n";
    }
    return file;
}

struct Study {
    fs::path dir;
    std::vector<std::string> files;

    explicit Study(fs::path folder, int count = 199) : dir(std::move(folder)) {
        fs::create_directories(dir);
        const std::string content = taskFile();
        for (int i = 1; i <= count; ++i) {
            const fs::path path = dir / ("pp" + std::to_string(i) + ".vty");
            std::ofstream(path, std::ios::binary) << content;
            files.push_back(path.string());
        }
    }
};

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
// figures of the script.
int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--write-study") {
        const Study s(argv[2], argc == 4 ? std::stoi(argv[3]) : 199);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
