#include "scale.h"
#include "statistics.h"
#include "study_numbers.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace dozorira;
using namespace dozorira::report;

namespace {

struct SpreadCase {
    std::vector<long long> values; // thousandths
    double mean;
    std::optional<double> sd;
    std::optional<double> halfInterval; // t(0.975, n - 1) × SD / √n, t from a printed table
    double median;
    double mad;
    double meanDeviation;
};

ParticipantResult participant(std::string subject, std::vector<long long> opened) {
    ParticipantResult result;
    result.subject = std::move(subject);
    for (const long long value : opened)
        result.clusters.push_back({10, 6, {value}, {500}, 2});
    return result;
}

} // namespace

TEST(ReportStatistics, SpreadOfValues) {
    const std::vector<SpreadCase> cases = {
        {{4667}, 4667, std::nullopt, std::nullopt, 4667, 0, 0},
        {{0, 1000}, 500, 707.107, 12.7062 * 707.107 / std::sqrt(2.0), 500, 500, 500},
        {{1000, 2000, 3000, 4000}, 2500, 1290.994, 3.18245 * 1290.994 / 2, 2500, 1000, 1000},
        {{0, 0, 0, 0, 9000}, 1800, 4024.922, 2.77645 * 4024.922 / std::sqrt(5.0), 0, 0, 1800},
        {{5, 5, 5}, 5, 0, 0, 5, 0, 0},
    };
    for (const SpreadCase& c : cases) {
        const Spread s = spreadOf(c.values);
        EXPECT_DOUBLE_EQ(s.mean, c.mean);
        EXPECT_EQ(s.standardDeviation.has_value(), c.sd.has_value());
        if (c.sd) {
            EXPECT_NEAR(*s.standardDeviation, *c.sd, 1e-3);
            EXPECT_NEAR(*s.halfInterval, *c.halfInterval, 1e-5 * *c.halfInterval);
        }
        EXPECT_EQ(s.median, c.median);
        EXPECT_EQ(s.medianAbsoluteDeviation, c.mad);
        EXPECT_EQ(s.meanAbsoluteDeviation, c.meanDeviation);
    }
}

// The modified z-score falls back on the mean absolute deviation where the MAD is 0, and flags
// nothing where both are 0; a score of exactly 3.5 is not beyond it.
TEST(ReportStatistics, ModifiedZScoreAndFlags) {
    const Spread spread = spreadOf({2000, 2100, 2200, 2300, 2400, 2500, 9000});
    EXPECT_NEAR(*modifiedZScore(9000, spread), 6700 / (1.4826 * 200), 1e-9);
    EXPECT_TRUE(flagged(modifiedZScore(9000, spread)));
    EXPECT_FALSE(flagged(modifiedZScore(2500, spread)));
    const Spread madZero = spreadOf({0, 0, 0, 0, 9000});
    EXPECT_NEAR(*modifiedZScore(9000, madZero), 9000 / (1.253314 * 1800), 1e-9);
    EXPECT_FALSE(modifiedZScore(5, spreadOf({5, 5, 5})));
    EXPECT_FALSE(flagged(3.5));
    EXPECT_TRUE(flagged(-3.5001));
}

TEST(ReportStatistics, ThreeDecimalsRoundHalvesAwayFromZero) {
    const std::vector<std::pair<double, std::string>> cases = {
        {4666.5, "4.667"}, {-4666.5, "-4.667"}, {-0.4, "0.000"}, {1000, "1.000"}, {33.5, "0.034"}};
    for (const auto& [thousandths, shown] : cases)
        EXPECT_EQ(threeDecimals(thousandths), shown) << thousandths;
}

TEST(ReportScale, TicksAtRoundNumbers) {
    struct Case {
        double low, high;
        double step, top;
        std::string label;
    };
    const std::vector<Case> cases = {{0, 4.667, 1, 5, "1"},
                                     {0, 66, 20, 80, "20"},
                                     {0, 0.333, 0.1, 0.4, "0.1"},
                                     {0, 0, 0.2, 1, "0.2"},
                                     {0, 0.031, 0.01, 0.04, "0.01"}};
    for (const Case& c : cases) {
        const Scale scale = roundScale(c.low, c.high);
        EXPECT_DOUBLE_EQ(scale.step, c.step) << c.high;
        EXPECT_NEAR(scale.high, c.top, 1e-9) << c.high;
        EXPECT_EQ(scale.label(scale.ticks()[1]), c.label);
    }
}

// Flags are per cluster, over the participants that have it, the farthest first.
TEST(ReportStudyNumbers, FlagsPerClusterFarthestFirst) {
    std::vector<ParticipantResult> results;
    for (const long long open : {2000, 2100, 2200, 2300, 2400, 2500})
        results.push_back(participant("p" + std::to_string(open), {open, 3000}));
    results.push_back(participant("far", {9000}));
    results.push_back(participant("farther", {2300, 60000}));
    results.push_back(participant("none", {}));
    const StudyNumbers study = studyNumbers(results);
    ASSERT_EQ(study.clusters.size(), 2U);
    EXPECT_EQ(study.clusters[0].participants.size(), 8U);
    EXPECT_EQ(study.clusters[1].participants.size(), 7U);
    EXPECT_EQ(study.withoutClusters, 1U);
    ASSERT_EQ(study.flagged.size(), 2U);
    EXPECT_EQ(study.flagged[0].participant, 6U); // M 30.1: 6700 from 2300, MAD 150
    EXPECT_EQ(study.flagged[1].participant, 7U); // M 5.6 in cluster 2, whose MAD is 0
    EXPECT_EQ(study.flagged[1].cluster, 2);
    EXPECT_NEAR(study.flagged[1].zScore, 57000 / (1.253314 * 57000 / 7), 1e-9);
    EXPECT_EQ(study.flaggedParticipants, (std::vector<std::size_t>{6, 7}));
    // W_Err and B_err are the same for everyone: nothing to flag there.
    EXPECT_FALSE(modifiedZScore(500, study.clusters[0].spreadOf(Measure::WithinErrors)));
}
