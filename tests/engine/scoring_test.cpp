#include "error.h"
#include "reader.h"
#include "result.h"
#include "scoring.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace dozorira;
using dozorira::test::dataLine;
using dozorira::test::runErrorOf;
using dozorira::test::taskFile;

namespace {

// The texts of one trial that scoring reads: field 4, field 7 and field 9.
struct TrialTexts {
    std::string found;
    std::string opened;
    std::string revisits = "";
};

// A one-cluster table of these trials, counted as reading counts them.
ClusterTables cluster(const std::vector<TrialTexts>& trials) {
    ClusterTables t;
    t.ClusterCount = 1;
    Cluster& c = t.clusters.emplace_back();
    EarlierFinds finds;
    for (const TrialTexts& trial : trials)
        c.trials.push_back({.BetweenErrorsAdded = finds.hitsThenAdd(trial.opened, trial.found),
                            .WithinErrors = revisitCount(trial.revisits)});
    c.TrialCount = static_cast<std::int16_t>(trials.size());
    return t;
}

int betweenErrors(ClusterTables t) {
    scoreClusters(t);
    return t.cluster(1).BetweenErrors;
}

} // namespace

TEST(BetweenSearchErrors, CountOpenedBoxesThatHeldAnEarlierTarget) {
    EXPECT_EQ(betweenErrors(cluster({{"A", "A"}})), 0) << "trial 1 is never scored";
    EXPECT_EQ(betweenErrors(cluster({{"A", ""}, {"B", "X"}, {"C", "CAB"}})), 2)
        << "A from trial 1 and B from trial 2";
    EXPECT_EQ(betweenErrors(cluster({{"A", ""}, {"A", "X"}, {"C", "CAB"}})), 2)
        << "trial 3's A counts once for each earlier trial that found A";
    EXPECT_EQ(betweenErrors(cluster({{"A", ""}, {"B", "AAa"}})), 2)
        << "every matching character counts; case matters";
    EXPECT_EQ(betweenErrors(cluster({{"\xff", ""}, {"B", "\xff\x80\xff"}})), 2)
        << "any byte is a box";
}

TEST(BetweenSearchErrors, OnlySingleCharacterFindsCanMatch) {
    EXPECT_EQ(betweenErrors(cluster({{"AB", ""}, {"", "AB"}, {"C", "AB "}})), 0);
    EXPECT_EQ(betweenErrors(cluster({{" ", ""}, {"C", "A B"}})), 1);
}

TEST(BetweenSearchErrors, OverflowBeyond32767) {
    // 200 trials that each found A and open 255 A's: far more than 32767 matches.
    ClusterTables t = cluster(std::vector<TrialTexts>(200, {"A", std::string(255, 'A')}));
    const RunError e = runErrorOf([&] { scoreClusters(t); });
    EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    EXPECT_EQ(e.problem().rfind("cluster 1: the between-search errors would be ", 0), 0u);
}

TEST(WithinSearchErrors, ComeFromTheRevisitList) {
    ClusterTables t = cluster({{"A", "", ""},
                               {"A", "", "7"},
                               {"A", "", "7 "},
                               {"A", "", "7 9"},
                               {"A", "", "12"},
                               {"A", "", "1 2 3 4"}});
    scoreClusters(t);
    const int expected[] = {0, 1, 1, 1, 0, 3};
    for (int r = 1; r <= 6; ++r)
        EXPECT_EQ(t.cluster(1).trial(r).WithinErrors, expected[r - 1]);
}

TEST(Scoring, GapsAndOddTrialCounts) {
    ClusterTables gap = cluster({{"A", "", "5"}, {"B", "A"}});
    gap.cluster(1).TrialCount = 4; // the row numbers jumped: trials 3 and 4 hold nothing
    scoreClusters(gap);
    EXPECT_EQ(gap.cluster(1).BetweenErrors, 1);
    EXPECT_EQ(gap.cluster(1).trial(4).WithinErrors, 0);

    for (std::int16_t count : {0, -3}) {
        ClusterTables none = cluster({{"A", "A", "1"}, {"A", "A", std::string(40000, ' ')}});
        none.cluster(1).TrialCount = count;
        scoreClusters(none);
        EXPECT_EQ(none.cluster(1).BetweenErrors, 0) << "no trial counts, and none is checked";
    }

    ClusterTables tooMany = cluster({{"A", "A"}});
    tooMany.cluster(1).TrialCount = 256;
    const RunError e = runErrorOf([&] { scoreClusters(tooMany); });
    EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
    EXPECT_EQ(e.problem(), "cluster 1: trial 256 is beyond the 255 trials a cluster can hold "
                           "(the row numbers skip too far)");
}

TEST(ScoringErrors, NameTheDataLineAndFieldTheyComeFrom) {
    const auto alike = [](int n, std::string_view open, std::string_view opened,
                          std::string_view revisits) { // rows 0 to n - 1
        std::string file = taskFile({});
        for (int row = 0; row < n; ++row)
            file += dataLine(std::to_string(row), "6", "A", open, opened, revisits) + "\r\n";
        return file;
    };
    const std::string row0 = dataLine("0", "6", "A", "1", "");
    const struct {
        std::string file;
        int line, field;
        const char* problem;
    } cases[] = {
        {taskFile({row0, row0, dataLine("300", "6", "A", "1", "")}), 3, 0,
         "cluster 2: trial 256 is beyond the 255 trials"},
        {taskFile({row0, dataLine("-1", "6", "A", "1", "")}), 2, 0,
         "cluster 1: the cluster has 0 trials"},
        {alike(17, "0", std::string(255, 'A'), ""), 17, 7,
         "cluster 1: the between-search errors would be 34680,"},
        {alike(129, "255", "", ""), 129, 6, "cluster 1: the sum of opened boxes would be 32895,"},
        {taskFile({row0, dataLine("1", "6", "A", "1", "", std::string(32768, ' ') + "x")}), 2, 9,
         "cluster 1: the within-search errors of a trial would be 32768,"},
        {alike(2, "0", "", std::string(20000, ' ')), 2, 9,
         "cluster 1: the sum of within-search errors would be 40000,"},
    };
    dozorira::test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.write("pp.vty", c.file);
        const RunError e = runErrorOf([&] {
            ClusterTables t = readTaskFile(path);
            scoreClusters(t);
            summarise(t, path);
        });
        EXPECT_EQ(e.problem().rfind(c.problem, 0), 0u) << e.problem();
        EXPECT_EQ(std::pair(e.dataLine(), e.field()), std::pair(c.line, c.field)) << c.problem;
    }
}
