#include "dat_run.h"
#include "error.h"
#include "test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace dozorira;
using namespace dozorira::output;
using dozorira::test::dataLine;
using dozorira::test::readFile;
using dozorira::test::runErrorOf;
using dozorira::test::taskFile;
using dozorira::test::TempDir;

namespace {

const std::string WorkedExample = dozorira::test::workedTaskFile();
constexpr const char* WorkedHeader =
    "Subject\tClusters\tTrials1\tBoxes1\tOpen1\tW_Err1\tB_err1\t\r\r\n";
const std::string WorkedRecord = std::string("pp01") + dozorira::test::WorkedRecordFields;
const std::string Broken = taskFile({dataLine("0", "300", "A", "4", "")});

struct Study {
    TempDir dir;
    std::string output = dir.path("out.dat");

    std::string add(const std::string& name, const std::string& content) {
        return dir.write(name, content);
    }

    // Runs and returns the error, if any.
    std::optional<RunError> run(const std::vector<std::string>& files, DatOptions options = {},
                                int* records = nullptr) {
        DatRun analysis(output, options);
        std::optional<RunError> error;
        try {
            analysis.run(files);
        } catch (const RunError& e) {
            error = e;
        }
        if (records) *records = analysis.recordsWritten();
        return error;
    }
};

} // namespace

TEST(DatRun, WritesTheColumnNamesOnceAndOneRecordPerFile) {
    Study s;
    const std::string a = s.add("pp01.vty", WorkedExample);
    const std::string b = s.add("pp02.vty", taskFile({}));
    ASSERT_FALSE(s.run({a, b, a}));
    EXPECT_EQ(readFile(s.output),
              std::string(WorkedHeader) + WorkedRecord + "pp02\t 0 \t\r\r\n" + WorkedRecord);
}

TEST(DatRun, ColumnNamesFollowTheFirstFileAndTheSwitch) {
    Study s;
    const std::string empty = s.add("e.vty", taskFile({}));
    const std::string one = s.add("pp01.vty", WorkedExample);
    ASSERT_FALSE(s.run({empty, one}));
    EXPECT_EQ(readFile(s.output),
              "Subject\tClusters\t\r\r\ne\t 0 \t\r\r\n" + std::string(WorkedRecord));
    ASSERT_FALSE(s.run({one}, DatOptions{false, ','}));
    EXPECT_EQ(readFile(s.output), "pp01\t 1 \t 3 \t 6 \t4,667\t0,333\t3,000\t\r\r\n");
}

TEST(DatRun, EmptiesTheOutputFirst) {
    Study s;
    s.add("out.dat", "old contents");
    ASSERT_FALSE(s.run({}));
    EXPECT_EQ(readFile(s.output), "");
    EXPECT_TRUE(std::filesystem::exists(s.output));
}

TEST(DatRun, NothingLeaksFromOneFileIntoAnother) {
    Study s;
    // The first file fills trials 1 to 6 with 9 opened boxes; the second has a gap over 4 to 6.
    const std::string full = s.add(
        "full.vty", taskFile({dataLine("0", "6", "A", "9", ""), dataLine("1", "6", "A", "9", ""),
                              dataLine("2", "6", "A", "9", ""), dataLine("3", "6", "A", "9", ""),
                              dataLine("4", "6", "A", "9", ""), dataLine("5", "6", "A", "9", "")}));
    const std::string gap = s.add(
        "gap.vty", taskFile({dataLine("0", "6", "A", "3", ""), dataLine("1", "6", "B", "3", ""),
                             dataLine("5", "6", "C", "3", "")}));
    // Lines before the first zero must not pile up over files either.
    std::string early;
    for (int i = 1; i <= 200; ++i)
        early += dataLine("7", "6", "A", "1", "") + "\r\n";
    const std::string early1 = s.add("early1.vty", taskFile({}) + early);
    const std::string early2 = s.add("early2.vty", taskFile({}) + early);
    ASSERT_FALSE(s.run({full, gap, early1, early2}, DatOptions{false, '.'}));
    EXPECT_EQ(readFile(s.output), "full\t 1 \t 6 \t 6 \t9.000\t0.000\t0.000\t\r\r\n"
                                  "gap\t 1 \t 6 \t 6 \t1.500\t0.000\t0.000\t\r\r\n"
                                  "early1\t 0 \t\r\r\nearly2\t 0 \t\r\r\n");
}

TEST(DatRun, AFailingFileAddsNothingAndEndsTheRun) {
    Study s;
    const std::string good = s.add("pp01.vty", WorkedExample);
    const std::string bad = s.add("bad.vty", Broken);
    int records = -1;
    const auto error = s.run({good, bad, good}, {}, &records);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->file(), bad);
    EXPECT_STREQ(error->what(), (bad + ": data line 1 (file line 3), field 2: \"300\" does not "
                                       "fit 0..255 (Overflow)")
                                    .c_str());
    EXPECT_EQ(records, 1);
    EXPECT_EQ(readFile(s.output), std::string(WorkedHeader) + WorkedRecord);
}

TEST(DatRun, AFirstFileThatFailsLeavesTheOutputEmpty) {
    Study s;
    const std::string bad = s.add("bad.vty", Broken);
    ASSERT_TRUE(s.run({bad}));
    EXPECT_EQ(readFile(s.output), "");
}

TEST(DatRun, RefusesAnOutputThatIsOneOfTheTaskFiles) {
    Study s;
    const std::string task = s.add("pp01.vty", WorkedExample);
    std::filesystem::create_symlink(task, s.dir.path("link.dat"));
    std::filesystem::create_hard_link(task, s.dir.path("hard.dat"));
    std::filesystem::create_directories(s.dir.path("sub"));
    for (const std::string& output : {task, s.dir.path("link.dat"), s.dir.path("hard.dat"),
                                      s.dir.path("sub/../pp01.vty"), s.dir.path("./pp01.vty")}) {
        DatRun run(output, {});
        const RunError e = runErrorOf([&] { run.run({s.dir.path("sub/.//../pp01.vty")}); });
        EXPECT_EQ(e.kind(), ErrorKind::FileError) << output;
        EXPECT_EQ(e.problem(), "the output file is this task file; choose another output file");
        EXPECT_EQ(readFile(task), WorkedExample) << output;
    }
}

TEST(DatRun, OutputFailuresAreFileErrors) {
    Study s;
    const std::string good = s.add("pp01.vty", WorkedExample);
    std::filesystem::create_directories(s.dir.path("folder.dat"));
    for (const std::string& output :
         {s.dir.path("folder.dat"), s.dir.path("missing/out.dat"), std::string()}) {
        DatRun run(output, {});
        EXPECT_EQ(runErrorOf([&] { run.run({good}); }).kind(), ErrorKind::FileError) << output;
    }
    if (std::filesystem::exists("/dev/full")) {
        DatRun run("/dev/full", {});
        EXPECT_STREQ(runErrorOf([&] { run.run({good}); }).what(),
                     "/dev/full: cannot write the output file: No space left on device (File "
                     "error)");
    }
}
