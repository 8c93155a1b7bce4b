#pragma once

#include "error.h"
#include "number.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dozorira {

// Bounds of the tables. Every table of the program holds entries 1..255; the file list 1..200.
inline constexpr int MaxDataLines = 255;
inline constexpr int MaxClusters = 255;
inline constexpr int MaxTrials = 255;
inline constexpr int MinFieldsPerLine = 10;

// One trial: one data line of a task file. Its texts are not kept: reading counts what the
// scoring rules make of them as it reads them, and scoring checks the counts of the trials that
// count against the 16-bit counters.
struct Trial {
    // The cluster's between-search errors that this trial's opened boxes (field 7) add: the finds
    // of the cluster's earlier trials that they hit. They sum to the cluster's BetweenErrors.
    long long BetweenErrorsAdded = 0;
    int WithinErrors = 0; // of the revisit list (field 9)
    int DataLine = 0;     // 0 for a trial that a gap in the row numbers left without a line
    std::uint8_t OpenCount = 0;
};

struct Cluster {
    Cluster() = default;
    // A cluster whose trials take their memory from trialMemory.
    explicit Cluster(std::pmr::memory_resource* trialMemory) : trials(trialMemory) {}

    std::int16_t TrialCount = 0;
    std::uint8_t BoxCount = 0;
    std::uint8_t ClusterCode = 0; // validated on reading, never written
    std::int16_t BetweenErrors = 0;
    std::string ClusterLabel;       // field 1 of the cluster's last line, as the file holds it
    std::pmr::vector<Trial> trials; // trial t is trials[t - 1]
    // The data lines the cluster holds, which its TrialCount need not match; for warnings only.
    int LineCount = 0;
    // The line whose row number set TrialCount; errors name it.
    int LastDataLine = 0;

    // Trial t (1-based). Trials past the stored lines (a gap in the row numbers) are empty;
    // past 255 they fail with Subscript out of range, named at the row number that asked for them.
    Trial& trial(int t) { return isStored(t) ? trials[index(t)] : growTo(t); }
    const Trial& trial(int t) const { return isStored(t) ? trials[index(t)] : unfilledTrial(t); }
    // The data line that an error about trial t names: its own, or for a trial without one the
    // cluster's last.
    int lineOf(int t) const;

private:
    bool isStored(int t) const { return t >= 1 && static_cast<std::size_t>(t) <= trials.size(); }
    static std::size_t index(int t) { return static_cast<std::size_t>(t) - 1; }
    Trial& growTo(int t);
    const Trial& unfilledTrial(int t) const;
};

// The first numeric field of one kind of NumberQuirk, and how many data lines have one; for
// warnings only.
struct OddNumbers {
    int lineCount = 0;
    int firstDataLine = 0;
    int field = 0;
    std::string text;
    int value = 0;          // what the field reads as
    int startedCluster = 0; // the cluster that a row number read as 0 starts, else 0
};

// The data lines whose field 6, the count of boxes opened, differs from the boxes that field 7
// lists, one character each, and the first of them; for warnings only.
struct OpenedCountsOff {
    int lineCount = 0;
    int firstDataLine = 0;
    int counted = 0;    // field 6 of the first
    std::string listed; // field 7 of the first
};

// Room for the trials of most clusters, and for those of a file of a dozen such clusters.
inline constexpr std::size_t TypicalTrials = 32;

// Where reading keeps the trials of a file's clusters: one block of memory for a file, not one for
// every cluster, and more from the heap for a file that needs it.
struct TrialMemory {
    alignas(Trial) std::array<std::byte, 16 * TypicalTrials * sizeof(Trial)> block;
    std::pmr::monotonic_buffer_resource resource{block.data(), block.size()};
};

// Everything known of one task file. Built fresh for every file, so nothing of one file can
// leak into the record of another.
struct ClusterTables {
    ClusterTables() = default;
    ClusterTables(ClusterTables&&) noexcept = default;
    ClusterTables& operator=(ClusterTables&& other) noexcept;
    // Gives the memory of forReading back to the thread, emptied, for the next file's tables.
    ~ClusterTables();

    // Tables to read a file into: room for every cluster that it can hold, so that they never
    // move, and memory for its trials; taken over from an earlier file of the thread where it
    // can be, as a run reads thousands of files one after another.
    static ClusterTables forReading();

    // Declared first, so that it goes last.
    std::unique_ptr<TrialMemory> trialMemory;
    std::int16_t ClusterCount = 0;
    // Index 0 gathers the lines before the first row number 0; it is never scored or written.
    std::vector<Cluster> clusters = std::vector<Cluster>(1);

    // Line feeds not preceded by a carriage return, which end no line; for warnings only.
    std::array<bool, 2> headerHoldsLineFeed{};
    struct LineFeeds {
        int dataLine;
        int count;
    };
    std::vector<LineFeeds> dataLinesWithLineFeeds;
    std::array<OddNumbers, NumberQuirkKinds> oddNumbers;
    OpenedCountsOff openedCountsOff;

    Cluster& cluster(int c) { return clusters[static_cast<std::size_t>(c)]; }
    const Cluster& cluster(int c) const { return clusters[static_cast<std::size_t>(c)]; }

private:
    explicit ClusterTables(std::vector<Cluster> clusters) : clusters(std::move(clusters)) {}
};

} // namespace dozorira
