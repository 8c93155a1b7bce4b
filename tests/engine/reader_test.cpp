#include "error.h"
#include "fields.h"
#include "reader.h"
#include "result.h"
#include "scoring.h"
#include "test_support.h"
#include "warnings.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace dozorira;
using dozorira::test::dataLine;
using dozorira::test::runErrorOf;
using dozorira::test::taskFile;
using dozorira::test::TempDir;

namespace {

ClusterTables readText(const std::string& content) {
    TempDir dir;
    return readTaskFile(dir.write("pp.vty", content));
}

RunError readFailure(const std::string& content) {
    return runErrorOf([&] { readText(content); });
}

std::string row(std::string_view number) {
    return dataLine(number, "6", "A", "3", "BC");
}

// Everything a run takes from a task file, as text: its record's numbers, its labels and its
// warnings, or its error.
std::string outcome(const std::string& path, ReadSizes sizes) {
    try {
        ClusterTables tables = readTaskFile(path, sizes);
        scoreClusters(tables);
        std::string text;
        const ParticipantResult result = summarise(tables, path, Detail::Clusters);
        for (const ClusterLabel& label : result.labels)
            text += label.text + "@" + std::to_string(label.dataLine) + " ";
        for (const ClusterResult& c : result.clusters)
            for (const long long n :
                 {static_cast<long long>(c.trials), static_cast<long long>(c.boxes),
                  c.meanOpened.count, c.meanWithinErrors.count,
                  static_cast<long long>(c.betweenErrors)})
                text += std::to_string(n) + " ";
        for (const Warning& warning : fileWarnings(tables, path))
            text.append("\n").append(warning.message());
        return text;
    } catch (const RunError& e) {
        return e.what();
    }
}

// A tap sees every byte of a file that reads to its end, once and in order, then an empty piece.
bool tapSeesTheWholeFile(const std::string& path, ReadSizes sizes) {
    std::string seen;
    bool ended = false;
    const ReadTap tap = [&](std::string_view piece) {
        ended = piece.empty();
        seen += piece;
    };
    try {
        readTaskFile(path, sizes, &tap);
    } catch (const RunError&) {
        return true; // a file that fails is not read to its end
    }
    return ended && seen == dozorira::test::readFile(path);
}

} // namespace

TEST(LineReading, EveryByteOnTheEndOfAReadGivesWhatOneReadGives) {
    TempDir dir;
    const std::string data = DOZORIRA_TEST_DATA;
    std::vector<std::string> files = {
        dir.write("ends.vty", "h1\r\r\nh2\n\r\n" + row("0") + "\r" + row("1") + "\r\r\n" +
                                  row("2") + "\n\r" + dataLine("3", "6", "A", "3", "B\nC") +
                                  "\r\n\r\n" + row("0") + "\r"),
        dir.write("unended.vty", taskFile({row("0"), row("1")}) + row("2"))};
    for (const auto& folder : {data, data + "/warnings"})
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".vty") files.push_back(entry.path().string());
    for (const std::string& file : files) {
        const std::string whole = outcome(file, {});
        for (std::size_t size = 1; size <= std::filesystem::file_size(file); ++size)
            ASSERT_TRUE(outcome(file, {size, size}) == whole &&
                        tapSeesTheWholeFile(file, {size, size}))
                << file << ", read " << size << " bytes at a time";
    }
}

// Reads of eight bytes hold no usual line, which takes ten bytes at least: every line then goes the
// plain way, which the fast way must match wherever it takes a line and wherever it leaves one.
TEST(LineReading, TheFastWayReadsWhatThePlainWayReads) {
    const std::string atMost(UsualLine::MaxSize - 20,
                             'x'); // a label that makes a line MaxSize long
    const std::vector<std::string> lines = {
        dataLine("0", "6", "A", "3", "BCA", "3 7"),
        "0\t" + atMost + "\t6\t1\tA\tx\t3\tBCA\ty\t",
        "0\t" + atMost + "x\t6\t1\tA\tx\t3\tBCA\ty\t",
        dataLine("999", "255", " B ", "0", ""),
        dataLine("1000", "6", "", "12", "ABCDEFGHIJKL", " "),
        dataLine("-1", "6", "A", "3", "B"),
        dataLine("+5", "06", "A", "3", "B", "1 2 3"),
        dataLine(" 5", "6", "A", "3.0", "B"),
        dataLine("5", "256", "A", "3", "B"),
        dataLine("5", "6", "A", "&H3", "B"),
        dataLine("12x", "6", "A", "3", "B"),
        dataLine("5", "6x", "A", "3", "B"),
        dataLine("5", "6", "A", "1.", "B"),
        "5\tcl\t6\t1\tA\tx\t3\tBCA\ty",
        "5\tcl\t6\t1\tA\tx\t3\tBCA\ty\t7\textra\tfields\n",
        "5\tc\nl\t6\t1\tA\tx\t3\tBCA\ty\t",
        "5\tc\x01l\t6\t1\tA\tx\t3\tB\x0b\ty\t",
        "5\tcl\t6\t1\tA\tx\t3\tBCA\ty\t\t",
        // Fields 1 to 3 that nearly repeat those of the line before.
        "5\tcl\t6\t12\tA\tx\t3\tBCA\ty\t",
        "5\tcl\t6\t12\t3\t4\t5\t6\t7\t8\t9",
        "5\tcl\t7\t1\tA\tx\t3\tBCA\ty\t",
        "5\tcm\t6\t1\tA\tx\t3\tBCA\ty\t",
        "5\tcl\t6\t1\tA\tx",
        "5\tcl\t6\t1\r",
        "123\t" + atMost.substr(4) + "\t6\t1\tA\tx\t3\tBCA\ty\t",
        "123\t" + atMost.substr(12) + "\t6\t1\tA\tx\t3\tBCA\ty\t",
    };
    TempDir dir;
    for (const std::string& line : lines) {
        const std::string path =
            dir.write("pp.vty", taskFile({row("0"), line, row("1"), line, line, row("0"), line}));
        EXPECT_EQ(outcome(path, {}), outcome(path, {8, 8})) << printable(line);
    }
    // Fields 1 to 3 of 30 to 32 bytes with their tab (32 are kept to be compared), and a line
    // whose fields differ from them in the last byte only: taken as repeated, its fields after
    // them would shift by one.
    for (const std::size_t label : {25, 26, 27}) {
        const std::string fields = std::string(label, 'x') + "\t6\t1";
        const std::string first = "1\t" + fields + "\tA\tx\t3\tBCA\ty\t";
        const std::string next = "2\t" + fields + "9\tA\t3\tBCA\ty\t";
        const std::string path = dir.write("pp.vty", taskFile({row("0"), first, next, first}));
        EXPECT_EQ(outcome(path, {}), outcome(path, {8, 8})) << label;
    }
}

TEST(LineReading, CrAndCrLfEndLinesButALoneLfIsText) {
    const std::string header = "h1\rh2\r\n";
    ClusterTables t = readText(header + dataLine("0", "6", "A", "3", "B\nC") + "\r" +
                               dataLine("1", "6", "B", "4", "AC"));
    EXPECT_EQ(t.ClusterCount, 1);
    EXPECT_EQ(t.cluster(1).TrialCount, 2);
    ASSERT_EQ(t.dataLinesWithLineFeeds.size(), 1u);
    EXPECT_EQ(t.dataLinesWithLineFeeds[0].dataLine, 1);
    EXPECT_EQ(t.openedCountsOff.firstDataLine, 2) << "the line feed is one of field 7's 3 boxes";
    EXPECT_EQ(t.cluster(1).trial(2).BetweenErrorsAdded, 1) << "the last line needs no line end";
}

TEST(LineReading, LineFeedOnlyFilesEndAtTheSecondHeaderAndSaySo) {
    const RunError e = readFailure("h1\nh2\n" + row("0") + "\n");
    EXPECT_EQ(e.kind(), ErrorKind::InputPastEndOfFile);
    EXPECT_EQ(e.problem(), "its lines end in LF only; a task file's lines end in CR LF");
    EXPECT_EQ(readFailure("h1").problem(),
              "the file ends before header line 2; a task file starts with two header lines");
}

TEST(LineReading, TwoHeaderLinesAreNeededAndEnough) {
    EXPECT_EQ(readText("h1\r\nh2").ClusterCount, 0);
    EXPECT_EQ(readText("h1\r\nh2\r\n").ClusterCount, 0);
    EXPECT_EQ(readFailure("").kind(), ErrorKind::InputPastEndOfFile);
    EXPECT_EQ(readFailure("h1\r\n").kind(), ErrorKind::InputPastEndOfFile);
}

TEST(LineReading, HeadersAreSkippedWhateverTheyHold) {
    const std::string longHeader(300000, 'x');
    ClusterTables t = readText(longHeader + "\r\n\t\t\r\n" + row("0") + "\r\n");
    EXPECT_EQ(t.ClusterCount, 1);
}

TEST(LineReading, AMissingFileOrAFolderIsAFileError) {
    TempDir dir;
    const RunError missing = runErrorOf([&] { readTaskFile(dir.path("absent.vty")); });
    EXPECT_EQ(missing.kind(), ErrorKind::FileError);
    EXPECT_EQ(missing.problem(), "cannot open the task file: No such file or directory");
    EXPECT_EQ(runErrorOf([&] { readTaskFile(dir.path("")); }).kind(), ErrorKind::FileError);
}

TEST(ClusterBookkeeping, ZeroRowsStartClusters) {
    ClusterTables t = readText(taskFile({row("0"), row("1"), row("2"), row("0"), row("1")}));
    ASSERT_EQ(t.ClusterCount, 2);
    EXPECT_EQ(t.cluster(1).TrialCount, 3);
    EXPECT_EQ(t.cluster(2).TrialCount, 2);
}

TEST(ClusterBookkeeping, FieldsThatReadAsZeroStartClustersToo) {
    ClusterTables t = readText(taskFile({row(" 0"), row("0.4"), row("abc"), row("")}));
    EXPECT_EQ(t.ClusterCount, 4);
}

TEST(ClusterBookkeeping, TheCloseRuleFollowsTheLastRowNumber) {
    // Rows 0, 1, 5: three lines, but the cluster counts six trials, 4 to 6 never filled.
    ClusterTables t = readText(taskFile({row("0"), row("1"), row("5")}));
    const Cluster& c = t.cluster(1);
    EXPECT_EQ(c.TrialCount, 6);
    EXPECT_EQ(c.trial(3).DataLine, 3);
    EXPECT_EQ(c.trial(3).OpenCount, 3);
    EXPECT_EQ(c.trial(4).DataLine, 0);
    EXPECT_EQ(c.trial(6).OpenCount, 0);

    // Rows 0, 1, 2, 1: four lines, two trials.
    EXPECT_EQ(readText(taskFile({row("0"), row("1"), row("2"), row("1")})).cluster(1).TrialCount,
              2);
    // Rows 0, -5: the count goes negative.
    EXPECT_EQ(readText(taskFile({row("0"), row("-5")})).cluster(1).TrialCount, -4);
}

TEST(ClusterBookkeeping, TablesReadEarlierCanBeReplacedByOthers) {
    // A file's tables put in place of another's (as analyseTaskFile hands them out): the earlier
    // clusters go before the memory that their trials are in.
    ClusterTables t = readText(taskFile({row("0"), row("1"), row("0")}));
    t = readText(taskFile({row("0"), row("1"), row("2")}));
    ASSERT_EQ(t.ClusterCount, 1);
    EXPECT_EQ(t.cluster(1).trial(3).OpenCount, 3);
}

TEST(ClusterBookkeeping, MemoryKeptForTheNextFileHoldsNothingOfTheFileBefore) {
    // 255 clusters take more memory for their trials than a file usually needs.
    std::string many = taskFile({});
    for (int c = 0; c < 255; ++c)
        many += "0\tother\t9\t1\tA\tx\t3\tBCA\ty\t\r\n";
    EXPECT_EQ(readText(many).ClusterCount, 255);
    const ClusterTables t = readText(taskFile({row("0"), row("1")}));
    ASSERT_EQ(t.clusters.size(), 2u);
    EXPECT_EQ(t.cluster(1).trials.size(), 2u);
    EXPECT_EQ(t.cluster(1).BoxCount, 6);
}

TEST(ClusterBookkeeping, LinesBeforeTheFirstZeroStayInClusterZero) {
    ClusterTables t = readText(taskFile({row("3"), row("4"), row("0"), row("1")}));
    EXPECT_EQ(t.ClusterCount, 1);
    EXPECT_EQ(t.cluster(1).TrialCount, 2);
    EXPECT_EQ(t.cluster(1).trial(1).DataLine, 3);
    EXPECT_EQ(t.cluster(0).trials.size(), 2u);
}

TEST(ClusterBookkeeping, StoresTheFieldsOfEveryTrial) {
    ClusterTables t =
        readText(taskFile({"0\tfirst\t6.5\t2\t 3 \tx\t7.5\tABC\ty\t1 2\textra\tfields",
                           "1\tsecond\t8\t3\tB\tx\t4\t3E3\ty\t"}));
    const Cluster& c = t.cluster(1);
    EXPECT_EQ(c.ClusterLabel, "second") << "the last line's value wins";
    EXPECT_EQ(c.BoxCount, 8);
    EXPECT_EQ(c.ClusterCode, 3);
    EXPECT_EQ(c.trial(2).BetweenErrorsAdded, 2) << "field 4 with its blanks trimmed, then found";
    EXPECT_EQ(c.trial(1).OpenCount, 8) << "7.5 rounds to the even 8";
    EXPECT_EQ(t.openedCountsOff.listed, "ABC");
    EXPECT_EQ(c.trial(1).WithinErrors, 1);
    EXPECT_EQ(c.trial(2).WithinErrors, 0);
}

TEST(ReadingErrors, NameTheLineTheFieldAndTheKind) {
    struct Case {
        std::string file;
        ErrorKind kind;
        const char* message;
    };
    const std::string tooMany = [] {
        std::string f = "h1\r\nh2\r\n";
        for (int i = 0; i < 256; ++i)
            f += row(std::to_string(i % 10)) + "\r\n";
        return f;
    }();
    const Case cases[] = {
        {taskFile({row("0"), ""}), ErrorKind::SubscriptOutOfRange,
         "data line 2 (file line 4): a blank data line, where a data line needs at least 10 "
         "fields: delete it (Subscript out of range)"},
        {taskFile({row("0"), "  ", row("1")}), ErrorKind::SubscriptOutOfRange,
         "data line 2 (file line 4): a blank data line, where a data line needs at least 10 "
         "fields: delete it (Subscript out of range)"},
        {taskFile({"0\ta\t6\t1\tA"}), ErrorKind::SubscriptOutOfRange,
         "data line 1 (file line 3), field 6: the line has 5 fields, a data line needs at least "
         "10 (Subscript out of range)"},
        {taskFile({dataLine("0", "300", "A", "3", "B")}), ErrorKind::Overflow,
         "data line 1 (file line 3), field 2: \"300\" does not fit 0..255 (Overflow)"},
        {taskFile({dataLine("0", "6", "A", "-1", "B")}), ErrorKind::Overflow,
         "data line 1 (file line 3), field 6: \"-1\" does not fit 0..255 (Overflow)"},
        {taskFile({row("40000")}), ErrorKind::Overflow,
         "data line 1 (file line 3), field 0: \"40000\" does not fit -32768..32767 (Overflow)"},
        {taskFile({row("0"), row("32767")}), ErrorKind::Overflow,
         "data line 2 (file line 4), field 0: the last row number of the cluster plus one would "
         "be 32768, outside -32768..32767 (Overflow)"},
        {taskFile({row("0"), row("32767"), row("0")}), ErrorKind::Overflow,
         "data line 2 (file line 4), field 0: the last row number of the cluster plus one would "
         "be 32768, outside -32768..32767 (Overflow)"},
        {tooMany, ErrorKind::SubscriptOutOfRange,
         "data line 256 (file line 258): a task file holds at most 255 data lines "
         "(Subscript out of range)"},
    };
    for (const Case& c : cases) {
        const RunError e = readFailure(c.file);
        EXPECT_EQ(e.kind(), c.kind);
        EXPECT_STREQ(e.what(), c.message);
    }
}

TEST(ReadingErrors, ClusterCodeIsCheckedThoughNeverWritten) {
    const RunError e = readFailure(taskFile({"0\tl\t6\t256\tA\tx\t3\tB\ty\t"}));
    EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    EXPECT_EQ(e.field(), 3);
}

// The masks of every instruction set against those found one byte after another: a tab, blank, line
// end, other control byte or byte with its high bit at every place, the edges of every step
// among them.
TEST(LineMasks, EveryWayFindsTheBytesOneByOneFinds) {
    const auto oneByOne = [](const char* text) {
        LineMasks masks{0, 0, 0};
        for (unsigned at = 0; at < UsualLine::Reach; ++at) {
            const auto byte = static_cast<unsigned char>(text[at]);
            masks.tabs |= std::uint64_t{byte == '\t'} << at;
            masks.blanks |= std::uint64_t{byte == ' '} << at;
            masks.controls |= std::uint64_t{byte <= '\r'} << at;
        }
        return masks.toLineEnd();
    };
    for (unsigned at = 0; at < UsualLine::Reach; ++at)
        for (const char byte : {'\t', ' ', '\r', '\n', '\x01', '\x0e', '\x80', '\x89', '\xff'}) {
            std::string text(2 * UsualLine::Reach, 'x');
            text[(at * 7 + 3) % UsualLine::Reach] = '\t';
            text[at] = byte;
            const LineMasks expected = oneByOne(text.data());
            EXPECT_EQ(portableLineMasks(text.data()).toLineEnd(), expected) << at;
            EXPECT_EQ(lineMasks(text.data()).toLineEnd(), expected) << at;
#if defined(DOZORIRA_AVX2)
            if (avx2Usable()) {
                EXPECT_EQ(avx2LineMasks(text.data()).toLineEnd(), expected) << at;
            }
#endif
        }
}
