#include "study_numbers.h"

#include <algorithm>
#include <cmath>

namespace dozorira::report {
namespace {

ClusterNumbers clusterNumbers(std::span<const ParticipantResult> results, int cluster) {
    ClusterNumbers numbers;
    numbers.cluster = cluster;
    std::vector<long long> trials;
    std::array<std::vector<long long>, Measures.size()> values;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i].clusterCount() < cluster) continue;
        const ClusterResult& c = results[i].clusters[static_cast<std::size_t>(cluster - 1)];
        numbers.participants.push_back(i);
        numbers.boxCounts.push_back(c.boxes);
        trials.push_back(c.trials);
        for (const Measure measure : Measures)
            values[static_cast<int>(measure)].push_back(valueOf(c, measure));
    }
    std::sort(numbers.boxCounts.begin(), numbers.boxCounts.end());
    numbers.boxCounts.erase(std::unique(numbers.boxCounts.begin(), numbers.boxCounts.end()),
                            numbers.boxCounts.end());
    const auto [least, most] = std::minmax_element(trials.begin(), trials.end());
    numbers.leastTrials = static_cast<int>(*least);
    numbers.mostTrials = static_cast<int>(*most);
    numbers.medianTrials = report::spreadOf(trials).median;
    for (std::size_t m = 0; m < Measures.size(); ++m)
        numbers.spreads[m] = report::spreadOf(std::move(values[m]));
    return numbers;
}

void flagCluster(std::span<const ParticipantResult> results, const ClusterNumbers& numbers,
                 std::vector<FlaggedValue>& found) {
    for (const std::size_t participant : numbers.participants) {
        const ClusterResult& c =
            results[participant].clusters[static_cast<std::size_t>(numbers.cluster - 1)];
        for (const Measure measure : Measures) {
            const Spread& spread = numbers.spreadOf(measure);
            const long long value = valueOf(c, measure);
            const std::optional<double> z = modifiedZScore(value, spread);
            if (flagged(z))
                found.push_back({participant, numbers.cluster, measure, value, spread.median, *z});
        }
    }
}

} // namespace

std::string_view nameOf(Measure measure) {
    switch (measure) {
    case Measure::Open: return "Open";
    case Measure::WithinErrors: return "W_Err";
    case Measure::BetweenErrors: return "B_err";
    }
    return {};
}

std::string_view descriptionOf(Measure measure) {
    switch (measure) {
    case Measure::Open: return "Mean boxes opened per trial";
    case Measure::WithinErrors: return "Mean within-search errors per trial";
    case Measure::BetweenErrors: return "Between-search errors";
    }
    return {};
}

long long valueOf(const ClusterResult& cluster, Measure measure) {
    switch (measure) {
    case Measure::Open: return cluster.meanOpened.count;
    case Measure::WithinErrors: return cluster.meanWithinErrors.count;
    case Measure::BetweenErrors: return Thousandths::of(cluster.betweenErrors).count;
    }
    return 0;
}

StudyNumbers studyNumbers(std::span<const ParticipantResult> results) {
    StudyNumbers study;
    int clusters = 0;
    for (const ParticipantResult& result : results) {
        clusters = std::max(clusters, result.clusterCount());
        if (result.clusters.empty()) ++study.withoutClusters;
    }
    for (int cluster = 1; cluster <= clusters; ++cluster) {
        study.clusters.push_back(clusterNumbers(results, cluster));
        flagCluster(results, study.clusters.back(), study.flagged);
    }
    std::stable_sort(study.flagged.begin(), study.flagged.end(),
                     [](const FlaggedValue& a, const FlaggedValue& b) {
                         if (std::abs(a.zScore) != std::abs(b.zScore))
                             return std::abs(a.zScore) > std::abs(b.zScore);
                         return a.participant < b.participant;
                     });
    std::vector<bool> seen(results.size());
    for (const FlaggedValue& value : study.flagged) {
        if (seen[value.participant]) continue;
        seen[value.participant] = true;
        study.flaggedParticipants.push_back(value.participant);
    }
    return study;
}

} // namespace dozorira::report
