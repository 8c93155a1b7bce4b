#include "scoring.h"

#include "number.h"

#include <algorithm>
#include <span>
#include <stdexcept>

namespace dozorira {
namespace {

// The trials of a cluster that have a line and count: those up to its trial count. The others
// add nothing.
std::span<Trial> countedTrials(Cluster& cluster) {
    const auto counted = static_cast<std::size_t>(std::max<int>(cluster.TrialCount, 0));
    return {cluster.trials.data(), std::min(counted, cluster.trials.size())};
}

// Counted once more trial by trial, so that the error names the first trial at which a count
// passes its bound, the between-search errors before any within-search error.
[[noreturn]] void failOneByOne(const Cluster& cluster) {
    long long errors = 0;
    for (int r = 1; r <= cluster.TrialCount; ++r) {
        errors += cluster.trial(r).BetweenErrorsAdded; // past 255 trials, trial() fails
        try {
            checkedInt16(errors, "the between-search errors");
        } catch (RunError& e) {
            throw e.atDataLine(cluster.lineOf(r)).atField(7);
        }
    }
    for (int r = 1; r <= cluster.TrialCount; ++r) {
        try {
            checkedInt16(cluster.trial(r).WithinErrors, "the within-search errors of a trial");
        } catch (RunError& e) {
            throw e.atDataLine(cluster.lineOf(r)).atField(9);
        }
    }
    throw std::logic_error("a count passed its bound, yet none does trial by trial");
}

void scoreCluster(Cluster& cluster) {
    // Counts only grow, so the total tells whether any sum on the way passed 32767. The first
    // trial hits nothing: no trial came before it.
    long long errors = 0;
    int mostWithin = 0;
    for (const Trial& trial : countedTrials(cluster)) {
        errors += trial.BetweenErrorsAdded;
        mostWithin = std::max(mostWithin, trial.WithinErrors);
    }
    if (errors > INT16_MAX || mostWithin > INT16_MAX || cluster.TrialCount > MaxTrials)
        failOneByOne(cluster);
    cluster.BetweenErrors = static_cast<std::int16_t>(errors);
}

} // namespace

void scoreClusters(ClusterTables& tables) {
    for (int c = 1; c <= tables.ClusterCount; ++c) {
        try {
            scoreCluster(tables.cluster(c));
        } catch (RunError& e) {
            throw e.concerning("cluster " + std::to_string(c));
        }
    }
}

} // namespace dozorira
