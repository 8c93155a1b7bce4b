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

// The numbers of every row after the subject: whole numbers, and thousandths for decimals.
std::vector<std::vector<long long>> rowsOf(const ParticipantResult& result, Layout layout) {
    std::vector<std::vector<long long>> rows;
    ResultTable({result}, layout).forEachRow([&rows](std::span<const Cell> cells) {
        auto& row = rows.emplace_back();
        for (const Cell& cell : cells.subspan(1))
            row.push_back(std::holds_alternative<Thousandths>(cell)
                              ? std::get<Thousandths>(cell).count
                              : std::get<long long>(cell));
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
    const std::vector<std::pair<std::string, std::size_t>> filesAndRows = {
        {Data + "/pp01.vty", 3},
        {Data + "/pp02.vty", 5},
        {Data + "/pp03.vty", 0},
        {Data + "/warnings/skipped.vty", 6},
        {Data + "/warnings/stepback.vty", 2},
        {Data + "/warnings/before.vty", 3},
        {Data + "/warnings/twoclusters.vty", 6},
        {both, 7},
        // A last row number of -5 makes -4 trials: a cluster without trial rows.
        {dir.write("negative.vty", taskFile({dataLine("0", "6", "A", "2", "B"),
                                             dataLine("-5", "6", "B", "3", "A")})),
         0}};
    for (const auto& [path, rowCount] : filesAndRows) {
        const ParticipantResult result = analyseTaskFile(path, nullptr, TrialNumbers::Kept);
        const std::vector<std::vector<long long>> trials = rowsOf(result, Layout::Trials);
        const std::vector<long long> wide = rowsOf(result, Layout::Wide).at(0);
        ASSERT_EQ(trials.size(), rowCount) << path;
        auto row = trials.begin();
        for (long long cluster = 1; cluster <= wide[0]; ++cluster) {
            const auto* means = &wide[static_cast<std::size_t>(5 * cluster - 4)];
            long long opened = 0, within = 0, between = 0;
            for (long long trial = 1; trial <= means[0]; ++trial, ++row) {
                EXPECT_EQ(*row,
                          (std::vector{cluster, trial, means[1], (*row)[3], (*row)[4], (*row)[5]}))
                    << path;
                opened += (*row)[3];
                within += (*row)[4];
                between += (*row)[5];
            }
            EXPECT_EQ(Thousandths::ofRatio(opened, means[0]).count, means[2]) << path;
            EXPECT_EQ(Thousandths::ofRatio(within, means[0]).count, means[3]) << path;
            EXPECT_EQ(between * 1000, means[4]) << path;
        }
    }
}
