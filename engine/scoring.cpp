#include "scoring.h"

#include "number.h"

#include <algorithm>
#include <array>

namespace dozorira {
namespace {

void scoreBetween(Cluster& cluster) {
    // How many earlier trials found the target in each one-character box. A FoundBox of any
    // other length never equals a single opened box.
    std::array<long long, 256> earlierFinds{};
    long long errors = 0;
    for (int r = 2; r <= cluster.TrialCount; ++r) {
        const Trial& previous = cluster.trial(r - 1);
        if (previous.FoundBox.size() == 1)
            ++earlierFinds[static_cast<unsigned char>(previous.FoundBox[0])];
        Trial& trial = cluster.trial(r);
        long long added = 0;
        for (const char box : trial.OpenedBoxes)
            added += earlierFinds[static_cast<unsigned char>(box)];
        errors += added;
        // Counts only grow, so checking once per trial fails exactly where counting one by one
        // would; a trial's share is never more than the total.
        try {
            checkedInt16(errors, "the between-search errors");
        } catch (RunError& e) {
            throw e.atDataLine(cluster.lineOf(r)).atField(7);
        }
        trial.BetweenErrorsAdded = static_cast<std::int16_t>(added);
    }
    cluster.BetweenErrors = static_cast<std::int16_t>(errors);
}

std::int16_t withinErrors(const std::string& revisits) {
    if (revisits.empty()) return 0;
    if (revisits.size() == 1) return 1;
    return checkedInt16(std::count(revisits.begin(), revisits.end(), ' '),
                        "the within-search errors of a trial");
}

void scoreWithin(Cluster& cluster) {
    for (int r = 1; r <= cluster.TrialCount; ++r) {
        Trial& trial = cluster.trial(r);
        try {
            trial.WithinErrors = withinErrors(trial.RevisitList);
        } catch (RunError& e) {
            throw e.atDataLine(cluster.lineOf(r)).atField(9);
        }
    }
}

} // namespace

void scoreClusters(ClusterTables& tables) {
    for (int c = 1; c <= tables.ClusterCount; ++c) {
        try {
            scoreBetween(tables.cluster(c));
            scoreWithin(tables.cluster(c));
        } catch (RunError& e) {
            throw e.concerning("cluster " + std::to_string(c));
        }
    }
}

} // namespace dozorira
