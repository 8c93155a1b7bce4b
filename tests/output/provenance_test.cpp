#include "provenance.h"
#include "test_support.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace dozorira::output;

namespace {

RunRecord recordNaming(std::vector<std::string> paths, std::string namesFrom = ".") {
    RunRecord record{"1.0.0",  1700000000, {"--format", "sav", "--long"}, std::move(namesFrom),
                     {"data"}, {}};
    for (std::string& path : paths)
        record.taskFiles.push_back({std::move(path), 4294967296ULL, std::string(64, 'a')});
    record.taskFiles.back().sha256 = std::string(63, '0') + "f";
    return record;
}

} // namespace

// SPSS keeps 80 bytes a document line and trims its trailing blanks: every name comes back as it
// was, however long or odd, and no SHA-256 is cut.
TEST(Provenance, LinesOfEightyBytesGiveTheRecordBack) {
    const std::vector<RunRecord> records = {
        recordNaming({"data/pp01.vty"}),
        recordNaming({std::string(200, 'x') + ".vty", "a b/c  d .vty "}, "../run folder"),
        recordNaming({"pp\n\t\"\\01.vty", "pp\xE9\xFF.vty",
                      "Zo\xC3\xAB/" + std::string(90, '\xC5') + std::string(1, '\x81')}),
        recordNaming({"/" + std::string(77, 'y') + " " + std::string(100, 'z') + ".vty"}),
    };
    for (const RunRecord& record : records) {
        const std::vector<std::string> lines = provenanceLines(record, 80);
        for (std::string line : lines) {
            EXPECT_LE(line.size(), 80u) << line;
            EXPECT_NE(line.back(), ' ') << line;
        }
        for (const TaskFileRecord& file : record.taskFiles) {
            const auto whole = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
                return l.find(file.sha256) != std::string::npos;
            });
            EXPECT_NE(whole, lines.end()) << file.sha256;
        }
        for (std::size_t width : {std::size_t{0}, std::size_t{80}}) {
            const RunRecord back = recordFromLines(provenanceLines(record, width), "x.sav");
            EXPECT_EQ(back.version, record.version);
            EXPECT_EQ(back.time, record.time);
            EXPECT_EQ(back.options, record.options);
            EXPECT_EQ(back.namesFrom, record.namesFrom);
            EXPECT_EQ(back.folders, record.folders);
            EXPECT_EQ(back.taskFiles, record.taskFiles);
        }
    }
    const auto error =
        dozorira::test::runErrorOf([] { recordFromLines({"Notes of my own"}, "x"); });
    EXPECT_STREQ(error.what(), "x: the file holds no provenance of dozorira-batch; verify it with "
                               "its manifest (--manifest) (File error)");
}

// The options recorded are all that shapes the bytes, the locale's separator too, and read back
// to the same request.
TEST(Provenance, OptionsAndTimesReadBack) {
    OutputRequest dat;
    dat.decimalSeparator = ',';
    dat.withColumnNames = false;
    OutputRequest trials;
    trials.format = Format::Csv;
    trials.layout = Layout::Trials;
    for (const OutputRequest& request : {dat, trials}) {
        const OutputRequest back = requestOf(optionsOf(request), "m.json");
        EXPECT_EQ(back.format, request.format);
        EXPECT_EQ(back.layout, request.layout);
        EXPECT_EQ(back.withColumnNames, request.withColumnNames);
        EXPECT_EQ(back.decimalSeparator, request.decimalSeparator);
    }
    EXPECT_EQ(optionsOf(dat), (std::vector<std::string>{"--format", "dat", "--no-header",
                                                        "--decimal-separator", ","}));
    EXPECT_STREQ(dozorira::test::runErrorOf([] {
                     requestOf({"--format", "pdf"}, "m.json");
                 }).what(),
                 "m.json: it records the option \"--format\", which this version of "
                 "dozorira-batch does not know (File error)");
    for (const std::time_t time :
         {std::time_t{0}, std::time_t{1711852200}, std::time_t{253402300799}})
        EXPECT_EQ(timeFromIso(isoTime(time)), time) << isoTime(time);
    for (const char* wrong :
         {"2023-02-30T00:00:00Z", "2023-11-14 22:13:20Z", "2023-11-14T22:13:20"})
        EXPECT_FALSE(timeFromIso(wrong)) << wrong;
}
