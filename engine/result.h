#pragma once

#include "cluster_tables.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dozorira {

// A number with exactly three decimals, held as an integer count of thousandths (4.667 is 4667),
// so that every output shows the same digits whatever its number format.
struct Thousandths {
    long long count = 0;

    // numerator / denominator rounded on the exact ratio to three decimals, halves away from zero.
    static Thousandths ofRatio(long long numerator, long long denominator);
    static Thousandths of(long long whole) { return {whole * 1000}; }

    // The double nearest to the three-decimal value.
    double toDouble() const { return static_cast<double>(count) / 1000.0; }

    bool operator==(const Thousandths&) const = default;
};

// What one trial adds to its cluster's numbers.
struct TrialResult {
    std::uint8_t opened = 0;
    std::int16_t withinErrors = 0;
    std::int16_t betweenErrors = 0; // the cluster's between-search errors that the trial adds
    bool hasLine = true;            // false for a trial that a gap in the row numbers left empty

    bool operator==(const TrialResult&) const = default;
};

// What one cluster adds to a participant's record.
struct ClusterResult {
    std::int16_t trials = 0;
    std::uint8_t boxes = 0;
    Thousandths meanOpened;         // boxes opened per trial
    Thousandths meanWithinErrors;   // within-search errors per trial
    std::int16_t betweenErrors = 0; // written with three decimals, like the means

    bool operator==(const ClusterResult&) const = default;
};

// A cluster's label: field 1 of its last line, as the file holds it, which names the condition
// a researcher models.
struct ClusterLabel {
    std::string text;
    int dataLine = 0; // the line it comes from

    bool operator==(const ClusterLabel&) const = default;
};

// One participant's result: the subject and, per cluster, what the output writes of it.
struct ParticipantResult {
    std::string subject;
    std::vector<ClusterResult> clusters;
    // Only when asked for: trials 1 to `trials` of every cluster in turn, the entries its means
    // are taken over. One list per participant, so that results without it cost nothing per
    // cluster.
    std::vector<TrialResult> trials;
    // Only when asked for: the label of every cluster.
    std::vector<ClusterLabel> labels;

    int clusterCount() const { return static_cast<int>(clusters.size()); }
    bool operator==(const ParticipantResult&) const = default;
};

// The subject: the file name after the last "/", less its four-character extension.
std::string subjectName(std::string_view path);

// What a result keeps beyond its record: the labels of its clusters, which rows per cluster
// need, and for rows per trial the numbers of every trial too.
enum class Detail { Record, Clusters, Trials };

// The result of a read and scored task file. Fails like the record it stands for: a cluster of
// 0 trials has no mean, and the sums are 16-bit counters.
ParticipantResult summarise(const ClusterTables& tables, std::string_view path,
                            Detail detail = Detail::Record);

} // namespace dozorira
