#include "result.h"

#include "number.h"

#include <cstdlib>

namespace dozorira {
namespace {

// The sums of one cluster's opened boxes and within-search errors.
struct ClusterSums {
    long long opened = 0;
    long long within = 0;
};

ClusterSums sumTrials(const Cluster& cluster) {
    ClusterSums sums;
    for (int r = 1; r <= cluster.TrialCount; ++r) {
        const Trial& trial = cluster.trial(r);
        sums.opened += trial.OpenCount;
        sums.within += trial.WithinErrors;
    }
    checkedInt16(sums.opened, "the sum of opened boxes");
    checkedInt16(sums.within, "the sum of within-search errors");
    return sums;
}

void appendTrials(const Cluster& cluster, std::vector<TrialResult>& trials) {
    for (int r = 1; r <= cluster.TrialCount; ++r) {
        const Trial& trial = cluster.trial(r);
        trials.push_back({trial.OpenCount, trial.WithinErrors, trial.BetweenErrorsAdded});
    }
}

ClusterResult summariseCluster(const Cluster& cluster) {
    const ClusterSums sums = sumTrials(cluster);
    if (cluster.TrialCount == 0)
        throw RunError(ErrorKind::DivisionByZero,
                       "the cluster has 0 trials (its last row number is -1), so it has no mean");
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
                       "the file name " + quoted(name) +
                           " is too short to hold a subject name and an extension");
    const std::string_view subject = name.substr(0, name.size() - 4);
    if (subject.find_first_of("\t\r\n") != std::string_view::npos)
        throw RunError(ErrorKind::InvalidArgument,
                       "the file name " + quoted(name) +
                           " holds a tab or line break, which would shift the output's columns");
    return std::string(subject);
}

ParticipantResult summarise(const ClusterTables& tables, std::string_view path,
                            TrialNumbers trialNumbers) {
    ParticipantResult result{subjectName(path), {}, {}};
    result.clusters.reserve(static_cast<std::size_t>(tables.ClusterCount));
    for (int h = 1; h <= tables.ClusterCount; ++h) {
        try {
            result.clusters.push_back(summariseCluster(tables.cluster(h)));
            if (trialNumbers == TrialNumbers::Kept) appendTrials(tables.cluster(h), result.trials);
        } catch (RunError& e) {
            throw RunError(e.kind(), "cluster " + std::to_string(h) + ": " + e.problem());
        }
    }
    return result;
}

} // namespace dozorira
