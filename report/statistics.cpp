#include "statistics.h"

#include <algorithm>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace dozorira::report {
namespace {

// Scale factors that make the median and the mean absolute deviation estimate the standard
// deviation of normally distributed values.
constexpr double MadScale = 1.4826;
constexpr double MeanDeviationScale = 1.253314;

// The median of values, which it sorts.
double medianOf(std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The sum is exact in integers; only the one division rounds, so a mean that lies exactly half
// way between two thousandths stays there and is rounded as the output rounds.
double meanOf(const std::vector<long long>& values) {
    const long long sum = std::accumulate(values.begin(), values.end(), 0LL);
    return static_cast<double>(sum) / static_cast<double>(values.size());
}

double standardDeviationOf(const std::vector<long long>& values, double mean) {
    double squares = 0;
    for (const long long value : values) {
        const double deviation = static_cast<double>(value) - mean;
        squares += deviation * deviation;
    }
    return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

} // namespace

Spread spreadOf(std::vector<long long> values) {
    Spread spread;
    spread.count = values.size();
    spread.mean = meanOf(values);
    if (values.size() > 1) {
        const double sd = standardDeviationOf(values, spread.mean);
        const boost::math::students_t t(static_cast<double>(values.size() - 1));
        spread.standardDeviation = sd;
        spread.halfInterval =
            boost::math::quantile(t, 0.975) * sd / std::sqrt(static_cast<double>(values.size()));
    }
    std::vector<double> sorted(values.begin(), values.end());
    spread.median = medianOf(sorted);
    std::vector<double> deviations;
    deviations.reserve(values.size());
    for (const double value : sorted)
        deviations.push_back(std::abs(value - spread.median));
    spread.meanAbsoluteDeviation = std::accumulate(deviations.begin(), deviations.end(), 0.0) /
                                   static_cast<double>(deviations.size());
    spread.medianAbsoluteDeviation = medianOf(deviations);
    return spread;
}

std::optional<double> modifiedZScore(long long value, const Spread& spread) {
    const double distance = static_cast<double>(value) - spread.median;
    if (spread.medianAbsoluteDeviation > 0)
        return distance / (MadScale * spread.medianAbsoluteDeviation);
    if (spread.meanAbsoluteDeviation > 0)
        return distance / (MeanDeviationScale * spread.meanAbsoluteDeviation);
    return std::nullopt;
}

bool flagged(const std::optional<double>& zScore) {
    return zScore && std::abs(*zScore) > FlagBeyond;
}

std::string threeDecimals(double thousandths) {
    const long long rounded = std::llround(thousandths); // halves away from zero
    const long long whole = std::llabs(rounded) / 1000;
    const long long fraction = std::llabs(rounded) % 1000;
    std::string text = rounded < 0 ? "-" : "";
    text += std::to_string(whole) + '.';
    text += static_cast<char>('0' + fraction / 100);
    text += static_cast<char>('0' + fraction / 10 % 10);
    text += static_cast<char>('0' + fraction % 10);
    return text;
}

} // namespace dozorira::report
