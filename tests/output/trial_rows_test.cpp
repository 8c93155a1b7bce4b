#include "analysis.h"
#include "result_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace dozorira;
using namespace dozorira::output;
using dozorira::test::dataLine;
using dozorira::test::taskFile;
using dozorira::test::TempDir;

namespace {

const std::string Data = DOZORIRA_TEST_DATA;

// The numbers of every row after the subject and the label: whole numbers, thousandths for
// decimals, and -1 for a missing value.
std::vector<std::vector<long long>> rowsOf(const ParticipantResult& result, Layout layout) {
    std::vector<std::vector<long long>> rows;
    ResultTable({result}, layout).forEachRow([&rows](std::span<const Cell> cells) {
        auto& row = rows.emplace_back();
        for (const Cell& cell : cells.subspan(1)) {
            if (const auto* decimal = std::get_if<Thousandths>(&cell))
                row.push_back(decimal->count);
            else if (const auto* count = std::get_if<long long>(&cell))
                row.push_back(*count);
            else if (std::holds_alternative<std::monostate>(cell))
                row.push_back(-1);
        }
    });
    return rows;
}

} // namespace

// The rows of a cluster are its trials 1..Trials, the entries its means are taken over: the
// means of Opened and W_Err are the wide layout's Open and W_Err, and B_err sums to its B_err.
TEST(TrialRows, AddUpToTheWideLayout) {
    TempDir dir;
    // A gap in the first cluster, a step back in the second, and a box found twice before.
    const std::string both = dir.write(
        "both.vty",
        taskFile({dataLine("0", "6", "A", "2", "BC", "1 2"), dataLine("1", "6", "A", "3", "CAB"),
                  dataLine("4", "6", "B", "4", "AAB"), dataLine("0", "4", "C", "1", "C", "3"),
                  dataLine("1", "4", "D", "2", "CD"), dataLine("2", "4", "C", "3", "DCC"),
                  dataLine("1", "4", "A", "1", "C")}));
    struct File {
        std::string path;
        std::size_t rows;
        long long gaps; // trials without a line of their own
    };
    const std::vector<File> files = {{Data + "/pp01.vty", 3, 0},
                                     {Data + "/pp02.vty", 5, 0},
                                     {Data + "/warnings/skipped.vty", 6, 3},
                                     {Data + "/warnings/stepback.vty", 2, 0},
                                     {Data + "/warnings/before.vty", 3, 0},
                                     {Data + "/warnings/twoclusters.vty", 6, 0},
                                     {both, 7, 2}};
    for (const auto& [path, rowCount, gapCount] : files) {
        const ParticipantResult result = analyseTaskFile(path, nullptr, Detail::Trials);
        const std::vector<std::vector<long long>> trials = rowsOf(result, Layout::Trials);
        const std::vector<long long> wide = rowsOf(result, Layout::Wide).at(0);
        ASSERT_EQ(trials.size(), rowCount) << path;
        auto row = trials.begin();
        long long gaps = 0;
        for (long long cluster = 1; cluster <= wide[0]; ++cluster) {
            const auto* means = &wide[static_cast<std::size_t>(5 * cluster - 4)];
            long long opened = 0, within = 0, between = 0;
            for (long long trial = 1; trial <= means[0]; ++trial, ++row) {
                const auto& r = *row;
                EXPECT_EQ(r, (std::vector{cluster, trial, r[2], means[1], r[4], r[5], r[6]}));
                // A gap counts as a trial that opened nothing.
                gaps += r[2] == 0 ? 1 : 0;
                EXPECT_TRUE(r[2] == 1 || (r[4] == 0 && r[5] == 0 && r[6] == 0)) << path;
                opened += r[4];
                within += r[5];
                between += r[6];
            }
            EXPECT_EQ(Thousandths::ofRatio(opened, means[0]).count, means[2]) << path;
            EXPECT_EQ(Thousandths::ofRatio(within, means[0]).count, means[3]) << path;
            EXPECT_EQ(between * 1000, means[4]) << path;
        }
        EXPECT_EQ(gaps, gapCount) << path;
    }
}

// Nobody drops out of the rows: a participant without clusters keeps one row, and so does a
// cluster without trials (a last row number of -5 makes -4), with what it lacks missing.
TEST(TrialRows, EveryParticipantAndClusterKeepsARow) {
    TempDir dir;
    const std::string negative = dir.write(
        "negative.vty",
        taskFile({dataLine("0", "6", "A", "2", "B"), dataLine("-5", "6", "B", "3", "A")}));
    const ParticipantResult none = analyseTaskFile(Data + "/pp03.vty", nullptr, Detail::Trials);
    const ParticipantResult empty = analyseTaskFile(negative, nullptr, Detail::Trials);
    const std::vector<long long> missing(7, -1);
    EXPECT_EQ(rowsOf(none, Layout::Long), (std::vector<std::vector<long long>>{missing}));
    EXPECT_EQ(rowsOf(none, Layout::Trials),
              (std::vector<std::vector<long long>>{std::vector<long long>(8, -1)}));
    EXPECT_EQ(rowsOf(empty, Layout::Trials),
              (std::vector<std::vector<long long>>{{1, -1, -1, 6, -1, -1, -1}}));
    EXPECT_EQ(ResultTable({none, empty}, Layout::Trials).rowCount(), 2U);
    EXPECT_EQ(ResultTable({none, empty}, Layout::Long).rowCount(), 2U);
}
