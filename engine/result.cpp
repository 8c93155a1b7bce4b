#include "result.h"

#include "number.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace dozorira {
namespace {

// The sums of one cluster's opened boxes and within-search errors.
struct ClusterSums {
    long long opened = 0;
    long long within = 0;
};

// One number summed over the cluster's trials, checked as it grows so that an error names the
// trial at which the sum passed 32767.
template <typename Value>
long long sumOverTrials(const Cluster& cluster, Value value, const char* what, int field) {
    long long sum = 0;
    for (int r = 1; r <= cluster.TrialCount; ++r) {
        sum += value(cluster.trial(r));
        try {
            checkedInt16(sum, what);
        } catch (RunError& e) {
            throw e.atDataLine(cluster.lineOf(r)).atField(field);
        }
    }
    return sum;
}

ClusterSums sumOneByOne(const Cluster& cluster) {
    return {sumOverTrials(
                cluster, [](const Trial& t) { return t.OpenCount; }, "the sum of opened boxes", 6),
            sumOverTrials(
                cluster, [](const Trial& t) { return t.WithinErrors; },
                "the sum of within-search errors", 9)};
}

ClusterSums sumTrials(const Cluster& cluster) {
    // Trials past the stored ones add nothing. Both numbers are counts, which only grow, so the
    // totals tell whether any sum on the way passed 32767; if one did, the sums are taken again
    // trial by trial to name where.
    const auto counted = std::min(static_cast<std::size_t>(std::max<int>(cluster.TrialCount, 0)),
                                  cluster.trials.size());
    ClusterSums sums;
    for (std::size_t t = 0; t < counted; ++t) {
        sums.opened += cluster.trials[t].OpenCount;
        sums.within += cluster.trials[t].WithinErrors;
    }
    if (sums.opened > INT16_MAX || sums.within > INT16_MAX || cluster.TrialCount > MaxTrials)
        return sumOneByOne(cluster);
    return sums;
}

void appendTrials(const Cluster& cluster, std::vector<TrialResult>& trials) {
    for (int r = 1; r <= cluster.TrialCount; ++r) {
        const Trial& trial = cluster.trial(r);
        trials.push_back(
            // Scoring checked that both fit a 16-bit counter.
            {trial.OpenCount, static_cast<std::int16_t>(trial.WithinErrors),
             static_cast<std::int16_t>(trial.BetweenErrorsAdded), trial.DataLine > 0});
    }
}

ClusterResult summariseCluster(const Cluster& cluster) {
    const ClusterSums sums = sumTrials(cluster);
    if (cluster.TrialCount == 0)
        throw RunError(ErrorKind::DivisionByZero,
                       "the cluster has 0 trials (its last row number is -1), so it has no mean")
            .atDataLine(cluster.LastDataLine)
            .atField(0);
    return {cluster.TrialCount, cluster.BoxCount,
            Thousandths::ofRatio(sums.opened, cluster.TrialCount),
            Thousandths::ofRatio(sums.within, cluster.TrialCount), cluster.BetweenErrors};
}

} // namespace

Thousandths Thousandths::ofRatio(long long numerator, long long denominator) {
    const auto num = static_cast<unsigned long long>(std::llabs(numerator));
    const auto den = static_cast<unsigned long long>(std::llabs(denominator));
    auto thousandths = static_cast<long long>(num * 1000 / den);
    if (2 * (num * 1000 % den) >= den) ++thousandths;
    return {(numerator < 0) != (denominator < 0) ? -thousandths : thousandths};
}

std::string subjectName(std::string_view path) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    if (name.size() < 4)
        throw RunError(ErrorKind::InvalidArgument,
                       "the file name " + shownName(name, true) +
                           " is too short to hold a subject name and an extension");
    const std::string_view subject = name.substr(0, name.size() - 4);
    if (subject.find_first_of("\t\r\n") != std::string_view::npos)
        throw RunError(ErrorKind::InvalidArgument,
                       "the file name " + shownName(name, true) +
                           " holds a tab or line break, which would shift the output's columns");
    return std::string(subject);
}

ParticipantResult summarise(const ClusterTables& tables, std::string_view path, Detail detail) {
    ParticipantResult result{subjectName(path), {}, {}, {}};
    result.clusters.reserve(static_cast<std::size_t>(tables.ClusterCount));
    for (int h = 1; h <= tables.ClusterCount; ++h) {
        const Cluster& cluster = tables.cluster(h);
        try {
            result.clusters.push_back(summariseCluster(cluster));
            if (detail != Detail::Record)
                result.labels.push_back({cluster.ClusterLabel, cluster.LastDataLine});
            if (detail == Detail::Trials) appendTrials(cluster, result.trials);
        } catch (RunError& e) {
            throw e.concerning("cluster " + std::to_string(h));
        }
    }
    return result;
}

} // namespace dozorira
