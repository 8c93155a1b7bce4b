#pragma once

#include "result.h"
#include "statistics.h"

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace dozorira::report {

// The three numbers of a cluster that the report looks at, as the wide output names them.
enum class Measure { Open, WithinErrors, BetweenErrors };
inline constexpr std::array<Measure, 3> Measures = {Measure::Open, Measure::WithinErrors,
                                                    Measure::BetweenErrors};

std::string_view nameOf(Measure measure);        // "Open"
std::string_view descriptionOf(Measure measure); // "Mean boxes opened per trial"
// The value the wide output holds, in thousandths.
long long valueOf(const ClusterResult& cluster, Measure measure);

// One cluster over the participants that have it.
struct ClusterNumbers {
    int cluster = 0;                       // 1, 2, ...
    std::vector<std::size_t> participants; // indexes of the results that have the cluster
    std::vector<int> boxCounts;            // the box counts they give it, ascending
    int leastTrials = 0;
    double medianTrials = 0;
    int mostTrials = 0;
    std::array<Spread, Measures.size()> spreads; // in the order of Measures

    const Spread& spreadOf(Measure measure) const { return spreads[static_cast<int>(measure)]; }
};

// A value whose modified z-score lies beyond ±3.5 among the cluster's values of the measure.
struct FlaggedValue {
    std::size_t participant = 0; // index of the result
    int cluster = 0;
    Measure measure = Measure::Open;
    long long value = 0;
    double median = 0; // of the cluster's values of the measure
    double zScore = 0;
};

struct StudyNumbers {
    std::vector<ClusterNumbers> clusters; // 1 up to the largest cluster count
    // Farthest from their median first; of equal scores, in the order of the task files.
    std::vector<FlaggedValue> flagged;
    // Every participant with a flagged value once, in the order of their first flagged value.
    std::vector<std::size_t> flaggedParticipants;
    std::size_t withoutClusters = 0; // participants whose task file holds no cluster
};

StudyNumbers studyNumbers(std::span<const ParticipantResult> results);

} // namespace dozorira::report
