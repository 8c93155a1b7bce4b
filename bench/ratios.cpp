// The batch command's time against the floor (a program that only opens, reads and closes every
// task file) and against `cat` of the same files, for a study of 199 files, one of 10 000 and one
// tiny file, which shows the start-up. The machine may be busy with other work, so the runs are
// interleaved (floor, cat, every format, then again from the next one) and the table gives medians.
// The rows with --manifest, against the rows without, show what recording a run's provenance
// costs (the column "x base"); the sav, dta and xlsx always carry theirs. The row with --report
// shows the report's cost the same way.
//
// Every run ends by flushing its output to disk, and on a disk that takes milliseconds, which is
// the disk's share of a run, not the program's: the outputs go to memory (/dev/shm) where it has
// a file system, and one row writes the .dat to the disk for comparison.
//
// Usage: dozorira_ratios BIN_DIR [ROUNDS]
// BIN_DIR holds dozorira-batch and dozorira_floor; ROUNDS, when given, is used for every study.
#include "study.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dozorira::bench::Study;

// One way of running the batch command: its name in the table, the extension of its output, which
// picks the format, and any further options. Another format is another line.
struct Variant {
    std::string name;
    std::string extension;
    std::vector<std::string> options;
    bool onDisk = false;
    bool report = false;   // with --report beside the output
    std::string base = {}; // the row that the same run without the extra makes
};

const std::vector<Variant> Variants = {
    {"dat", "dat", {}},
    {"dat --manifest", "dat", {"--manifest", "MANIFEST"}, false, false, "dat"},
    {"tsv", "tsv", {}},
    {"sav", "sav", {}},
    {"dta", "dta", {}},
    {"csv", "csv", {}},
    {"xlsx", "xlsx", {}},
    {"sav --manifest", "sav", {"--manifest", "MANIFEST"}, false, false, "sav"},
    {"tsv --long", "tsv", {"--long"}},
    {"tsv --trials", "tsv", {"--trials"}},
    {"dat, output on disk", "dat", {}, true},
    {"dat --report", "dat", {}, false, true, "dat"},
};

struct StudyPlan {
    std::string title;
    int files;
    int dataLines;
    int rounds;
};

struct Sample {
    double wallMs;
    double cpuMs;
};

double milliseconds(const timespec& from, const timespec& to) {
    return static_cast<double>(to.tv_sec - from.tv_sec) * 1e3 +
           static_cast<double>(to.tv_nsec - from.tv_nsec) / 1e6;
}

double milliseconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

// A command ready to start in the study's folder, with its standard output thrown away.
class Command {
public:
    Command(std::string label, std::vector<std::string> words, const fs::path& folder)
        : label_(std::move(label)), words_(std::move(words)) {
        for (std::string& word : words_)
            argv_.push_back(word.data());
        argv_.push_back(nullptr);
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str());
        posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
    }
    ~Command() { posix_spawn_file_actions_destroy(&actions_); }
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    const std::string& label() const { return label_; }
    std::vector<Sample>& samples() { return samples_; }

    Sample run() const {
        timespec start{};
        timespec end{};
        clock_gettime(CLOCK_MONOTONIC, &start);
        pid_t child = 0;
        if (posix_spawnp(&child, argv_[0], &actions_, nullptr, argv_.data(), environ) != 0)
            throw std::runtime_error("cannot start " + words_[0]);
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        clock_gettime(CLOCK_MONOTONIC, &end);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            throw std::runtime_error(label_ + " failed");
        return {milliseconds(start, end),
                milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime)};
    }

private:
    std::string label_;
    std::vector<std::string> words_;
    std::vector<char*> argv_;
    posix_spawn_file_actions_t actions_{};
    std::vector<Sample> samples_;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double medianOf(const std::vector<Sample>& samples, double Sample::*field) {
    std::vector<double> values;
    for (const Sample& sample : samples)
        values.push_back(sample.*field);
    return median(values);
}

std::vector<std::string> withFiles(std::vector<std::string> words, int files) {
    for (int i = 1; i <= files; ++i)
        words.push_back("pp" + std::to_string(i) + ".vty");
    return words;
}

void printRow(const std::string& label, double wall, double floor, double cat, double cpu,
              double base) {
    std::printf("  %-36s %10.2f %9.2f %8.2f %10.2f", label.c_str(), wall, wall / floor, wall / cat,
                cpu);
    if (base > 0) std::printf(" %8.2f", wall / base);
    std::printf("\n");
}

// Where the outputs go: memory when the machine has a file system there, the work folder else.
fs::path outputFolder(const fs::path& work) {
    std::error_code ec;
    const fs::path memory = fs::path("/dev/shm") / work.filename();
    fs::create_directories(memory, ec);
    return fs::is_directory(memory, ec) ? memory : work;
}

void measure(const StudyPlan& plan, const fs::path& bin, const fs::path& work,
             const fs::path& outputs) {
    const fs::path folder = work / ("study-" + std::to_string(plan.files));
    const Study study(folder, plan.files, plan.dataLines);
    std::vector<std::unique_ptr<Command>> commands;
    std::vector<std::size_t> bases; // each command's base row; its own index where it has none
    const auto add = [&](std::string label, std::vector<std::string> words) {
        bases.push_back(commands.size());
        commands.push_back(std::make_unique<Command>(
            std::move(label), withFiles(std::move(words), plan.files), folder));
    };
    add("floor", {(bin / "dozorira_floor").string()});
    add("cat", {"cat"});
    for (const Variant& variant : Variants) {
        std::vector<std::string> words = {(bin / "dozorira-batch").string()};
        for (const std::string& option : variant.options) // the manifest goes beside the output
            words.push_back(option == "MANIFEST" ? (outputs / "manifest.json").string() : option);
        words.push_back("-o");
        words.push_back(
            ((variant.onDisk ? work : outputs) / ("out." + variant.extension)).string());
        if (variant.report) {
            words.push_back("--report");
            words.push_back((outputs / "report.pdf").string());
        }
        add("dozorira-batch " + variant.name, std::move(words));
        for (std::size_t i = 0; i < Variants.size() && !variant.base.empty(); ++i)
            if (Variants[i].name == variant.base) bases.back() = i + 2; // after floor and cat
    }

    for (const auto& command : commands) // fills the page cache and the outputs' folder
        command->run();
    // Each round starts one command later, so that no command always runs right after cat.
    for (std::size_t round = 0; round < static_cast<std::size_t>(plan.rounds); ++round)
        for (std::size_t i = 0; i < commands.size(); ++i) {
            Command& command = *commands[(i + round) % commands.size()];
            command.samples().push_back(command.run());
        }

    std::printf("%s, median of %d interleaved runs\n", plan.title.c_str(), plan.rounds);
    std::printf("  %-36s %10s %9s %8s %10s %8s\n", "run", "wall ms", "x floor", "x cat", "cpu ms",
                "x base");
    const double floor = medianOf(commands[0]->samples(), &Sample::wallMs);
    const double cat = medianOf(commands[1]->samples(), &Sample::wallMs);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const double wall = medianOf(commands[i]->samples(), &Sample::wallMs);
        const double base =
            bases[i] == i ? 0 : medianOf(commands[bases[i]]->samples(), &Sample::wallMs);
        printRow(commands[i]->label(), wall, floor, cat,
                 medianOf(commands[i]->samples(), &Sample::cpuMs), base);
    }
    std::printf("\n");
    fs::remove_all(folder);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fputs("usage: dozorira_ratios BIN_DIR [ROUNDS]\n", stderr);
        return 2;
    }
    const int rounds = argc == 3 ? std::stoi(argv[2]) : 0;
    const std::vector<StudyPlan> plans = {
        {"One task file of one data line (start-up)", 1, 1, rounds ? rounds : 41},
        {"199 task files of 255 data lines", 199, 255, rounds ? rounds : 21},
        {"10 000 task files of 255 data lines", 10000, 255, rounds ? rounds : 7},
    };
    const fs::path bin = fs::absolute(argv[1]);
    const fs::path work =
        fs::temp_directory_path() / ("dozorira-ratios-" + std::to_string(getpid()));
    fs::create_directories(work);
    const fs::path outputs = outputFolder(work);
    try {
        for (const StudyPlan& plan : plans)
            measure(plan, bin, work, outputs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dozorira_ratios: %s\n", e.what());
        fs::remove_all(outputs);
        fs::remove_all(work);
        return 1;
    }
    fs::remove_all(outputs);
    fs::remove_all(work);
    return 0;
}
