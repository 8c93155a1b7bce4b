#include "manifest.h"
#include "provenance.h"
#include "sha256.h"
#include "test_support.h"
#include "whole_file.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

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

// The manifest is written as it is made, and reads as nlohmann lays out the same document held
// whole, names that JSON must escape and empty lists too; it reads back to the record.
TEST(Provenance, ManifestsAreLaidOutAsNlohmannDoesAndReadBack) {
    dozorira::test::TempDir dir;
    RunRecord check = recordNaming({"x"});
    check.taskFiles.clear();
    check.folders.clear();
    const std::vector<std::pair<RunRecord, std::optional<OutputDigest>>> runs = {
        {recordNaming({"data/pp01.vty", "pp\n\t\"\\01.vty", "pp\xE9\xFF.vty", "Zo\xC3\xAB.vty"}),
         OutputDigest{12, std::string(64, 'b')}},
        {recordNaming({dir.path("abs.vty")}), std::nullopt},
        {check, std::nullopt},
    };
    for (const auto& [record, output] : runs) {
        const std::string path = dir.path(output ? "s.json" : "check.json");
        dozorira::files::WholeFile file(dozorira::files::openTarget(path));
        writeManifest(record, path, dir.path("s.sav"), output, file);
        file.commit();
        const std::string text = dozorira::test::readFile(path);
        EXPECT_EQ(text, nlohmann::ordered_json::parse(text).dump(2) + "\n");
        const Manifest back = readManifest(path);
        EXPECT_EQ(back.run.taskFiles, record.taskFiles);
        EXPECT_EQ(back.run.folders, record.folders);
        EXPECT_EQ(back.check, !output);
        if (output) {
            EXPECT_EQ(back.outputDigest.sha256, output->sha256);
        }
    }
}

// Each task file is hashed from the pieces its reader sees, on whichever thread reads it, the
// first ones perhaps while libcrypto is still being loaded; a file never read has no bytes.
TEST(Provenance, TaskFilesAreHashedFromThePiecesRead) {
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const std::string none = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    const std::string large(300000, 'x');
    const std::vector<std::vector<std::string>> files = {
        {"abc", ""}, {"a", "b", "c", ""}, {""}, {large, "abc", ""}, {}, {"ab", "c", ""}};
    const std::vector<std::string> expected = {abc, abc, none, sha256Of(large + "abc"), none, abc};
    TaskFileDigests digests(files.size());
    const auto read = [&](std::size_t first) {
        for (std::size_t i = first; i < files.size(); i += 2)
            for (const std::string& piece : files[i])
                digests.taps()[i](piece);
    };
    std::thread other(read, 1);
    read(0);
    other.join();
    std::vector<TaskFileRecord> records(files.size());
    digests.fillIn(records);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(records[i].sha256, expected[i]) << i;
        EXPECT_EQ(records[i].size, i == 3 ? large.size() + 3 : i == 2 || i == 4 ? 0 : 3) << i;
    }
}
