#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace dozorira::report {

// What a report says of one measure of one cluster, over the participants that have the cluster.
// Every number is in thousandths, the unit in which the wide output holds the values, so that
// the statistics are those of the output's three-decimal numbers.
struct Spread {
    std::size_t count = 0;
    double mean = 0;
    // With n - 1; none for a single value.
    std::optional<double> standardDeviation;
    // The 95% confidence interval of the mean is mean ± this, t(0.975, n - 1) × SD / √n; none
    // for a single value.
    std::optional<double> halfInterval;
    double median = 0;
    double medianAbsoluteDeviation = 0; // from the median
    double meanAbsoluteDeviation = 0;   // from the median
};

// The spread of values, which must not be empty.
Spread spreadOf(std::vector<long long> values);

// Iglewicz and Hoaglin's modified z-score: (value − median) / (1.4826 × MAD), or where the MAD
// is 0, (value − median) / (1.253314 × mean absolute deviation); none where that is 0 too.
std::optional<double> modifiedZScore(long long value, const Spread& spread);

// A value is flagged when its modified z-score lies beyond ±3.5.
inline constexpr double FlagBeyond = 3.5;
bool flagged(const std::optional<double>& zScore);

// A number of thousandths with three decimals, rounded half away from zero, as the output shows
// its numbers: 4666.5 -> "4.667", -0.2 -> "0.000".
std::string threeDecimals(double thousandths);

} // namespace dozorira::report
