#include "dat_writer.h"
#include "error.h"
#include "test_support.h"
#include "text.h"

#include <gtest/gtest.h>

using namespace dozorira;
using namespace dozorira::output;
using dozorira::test::runErrorOf;

namespace {

std::string decimal(long long numerator, long long denominator, char separator = '.') {
    return formatDecimal(Thousandths::ofRatio(numerator, denominator), separator);
}

// The record of read and scored tables, as the output file gets it.
std::string record(const ClusterTables& tables, std::string_view path, char separator = '.') {
    return datRecord(summarise(tables, path), separator);
}

} // namespace

TEST(NumberFormat, BlankDigitsBlank) {
    EXPECT_EQ(formatNumber(3), " 3 ");
    EXPECT_EQ(formatNumber(0), " 0 ");
    EXPECT_EQ(formatNumber(-4), "-4 ");
    EXPECT_EQ(formatNumber(32767), " 32767 ");
    EXPECT_EQ(formatNumber(-32768), "-32768 ");
}

TEST(DecimalFormat, ThreeDecimalsWithHalvesAwayFromZero) {
    EXPECT_EQ(decimal(14, 3), "4.667");
    EXPECT_EQ(decimal(3, 2), "1.500");
    EXPECT_EQ(decimal(1, 3), "0.333");
    EXPECT_EQ(decimal(2, 1), "2.000");
    EXPECT_EQ(decimal(0, 7), "0.000");
    EXPECT_EQ(decimal(32767, 1), "32767.000");
    // Exact ties, which binary floating point would round the wrong way.
    EXPECT_EQ(decimal(5, 16), "0.313");
    EXPECT_EQ(decimal(3, 80), "0.038");
    EXPECT_EQ(decimal(1, 2000), "0.001");
    EXPECT_EQ(decimal(1, 2001), "0.000");
    EXPECT_EQ(decimal(1999, 2000), "1.000");
}

TEST(DecimalFormat, SignsAndSeparator) {
    EXPECT_EQ(decimal(0, -4), "0.000") << "never -0.000";
    EXPECT_EQ(decimal(1, -3000), "0.000");
    EXPECT_EQ(decimal(5, -16), "-0.313");
    EXPECT_EQ(decimal(-3, 2, ','), "-1,500");
    EXPECT_EQ(decimal(14, 3, ','), "4,667");
}

TEST(ColumnNames, FiveNamesPerCluster) {
    EXPECT_EQ(columnNames(0), "Subject\tClusters\t\r\r\n");
    EXPECT_EQ(columnNames(2), "Subject\tClusters\tTrials1\tBoxes1\tOpen1\tW_Err1\tB_err1\t"
                              "Trials2\tBoxes2\tOpen2\tW_Err2\tB_err2\t\r\r\n");
    EXPECT_NE(columnNames(12).find("\tB_err12\t\r\r\n"), std::string::npos);
}

TEST(SubjectName, FileNameLessItsExtension) {
    EXPECT_EQ(subjectName("/data/study/pp01.vty"), "pp01");
    EXPECT_EQ(subjectName("pp01.vty"), "pp01");
    EXPECT_EQ(subjectName("dir//pp 01.VTY"), "pp 01");
    EXPECT_EQ(subjectName("/d/.vty"), "");
    EXPECT_EQ(subjectName("/d/noext"), "n") << "the extension is not examined";
    EXPECT_EQ(subjectName(std::string(300, 'd') + "/" + std::string(300, 'n') + ".vty"),
              std::string(300, 'n'));
}

TEST(SubjectName, RefusesNamesThatWouldBreakTheOutput) {
    for (const char* path : {"/d/abc", "abc", "", "/d/a\tb.vty", "/d/a\nb.vty", "a\rb.vty"})
        EXPECT_EQ(runErrorOf([&] { subjectName(path); }).kind(), ErrorKind::InvalidArgument)
            << path;
}

namespace {

ClusterTables workedExample() {
    ClusterTables t;
    t.ClusterCount = 1;
    Cluster& c = t.clusters.emplace_back();
    c.TrialCount = 3;
    c.BoxCount = 6;
    c.BetweenErrors = 2;
    c.trials.resize(3);
    const int open[] = {4, 5, 5};
    const int within[] = {0, 1, 0};
    for (int r = 0; r < 3; ++r) {
        c.trials[r].OpenCount = static_cast<std::uint8_t>(open[r]);
        c.trials[r].WithinErrors = within[r];
    }
    return t;
}

} // namespace

TEST(Record, WorkedExampleByteForByte) {
    EXPECT_EQ(columnNames(1) + record(workedExample(), "/study/pp01.vty"),
              "Subject\tClusters\tTrials1\tBoxes1\tOpen1\tW_Err1\tB_err1\t\r\r\n"
              "pp01\t 1 \t 3 \t 6 \t4.667\t0.333\t2.000\t\r\r\n");
    EXPECT_EQ(record(workedExample(), "pp01.vty", ','),
              "pp01\t 1 \t 3 \t 6 \t4,667\t0,333\t2,000\t\r\r\n");
}

TEST(Record, NoClusters) {
    ClusterTables empty;
    EXPECT_EQ(record(empty, "/x/pp02.vty"), "pp02\t 0 \t\r\r\n");
}

TEST(Record, MeansOverGapsAndOddCounts) {
    ClusterTables t = workedExample();
    t.cluster(1).TrialCount = 4; // a gap: trial 4 opened nothing
    EXPECT_EQ(record(t, "a.vty"), "a\t 1 \t 4 \t 6 \t3.500\t0.250\t2.000\t\r\r\n");
    t.cluster(1).TrialCount = -2;
    EXPECT_EQ(record(t, "a.vty"), "a\t 1 \t-2 \t 6 \t0.000\t0.000\t2.000\t\r\r\n");
}

TEST(Record, ErrorsWhileComposing) {
    ClusterTables zero = workedExample();
    zero.cluster(1).TrialCount = 0;
    const RunError noTrials = runErrorOf([&] { record(zero, "a.vty"); });
    EXPECT_EQ(noTrials.kind(), ErrorKind::DivisionByZero);
    EXPECT_EQ(noTrials.problem(),
              "cluster 1: the cluster has 0 trials (its last row number is -1), so it has no mean");

    ClusterTables full;
    full.ClusterCount = 1;
    Cluster& c = full.clusters.emplace_back();
    c.TrialCount = 255;
    c.trials.resize(255);
    for (Trial& t : c.trials)
        t.OpenCount = 255;
    const RunError tooMany = runErrorOf([&] { record(full, "a.vty"); });
    EXPECT_EQ(tooMany.kind(), ErrorKind::Overflow);
    EXPECT_EQ(tooMany.problem(),
              "cluster 1: the sum of opened boxes would be 32895, outside -32768..32767");
}
