#include "batch.h"
#include "format.h"
#include "locale_separator.h"
#include "test_support.h"
#include "warnings.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace dozorira::cli;
using dozorira::test::readFile;
using dozorira::test::TempDir;

namespace {

const std::string Data = DOZORIRA_TEST_DATA;

struct Result {
    int status;
    std::string out;
    std::string err;
};

// The test's working folder, for runs that name their files by relative names.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(saved_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::filesystem::path saved_;
};

Result batch(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
    args.insert(args.begin(), "dozorira-batch");
    std::ostringstream out, err;
    const int status = runBatch(args, out, err, [&env](const char* name) {
        const auto it = env.find(name);
        return it == env.end() ? std::string() : it->second;
    });
    return {status, out.str(), err.str()};
}

} // namespace

// A .dat whose records have other cluster counts than the first is written as it always was,
// with one line that says what a reader will make of it; all else goes silently.
TEST(BatchRun, WritesTheOutputAndSaysWhenItsColumnsShift) {
    TempDir dir;
    const std::string out = dir.path("study.dat");
    const std::vector<std::string> study = {Data + "/pp01.vty", Data + "/pp02.vty",
                                            Data + "/pp03.vty"};
    const std::string shift = "dozorira-batch: " + out +
                              ": warning: 2 of its 3 records have more or fewer clusters than ";
    const std::string readers = " (1 cluster): R and pandas read this .dat with shifted columns: "
                                "write a tsv, csv, sav or dta for them\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{"--no-header", "-o", out}, shift + "its first record" + readers},
        {{"-o", dir.path("study.tsv")}, ""},
        {{"-o", out}, shift + "its column names cover" + readers}};
    for (auto [args, err] : runs) {
        args.insert(args.end(), study.begin(), study.end());
        const Result r = batch(args);
        EXPECT_EQ(r.status, ExitOk);
        EXPECT_EQ(r.out + r.err, err);
    }
    EXPECT_EQ(readFile(out), readFile(Data + "/expected.dat"));
    EXPECT_EQ(batch({"-o", out, study[0]}).err, "");
}

TEST(BatchRun, HeaderSwitchAndDecimalSeparator) {
    TempDir dir;
    const std::string out = dir.path("study.dat");
    const std::string file = Data + "/pp01.vty";
    const std::string comma = "pp01\t 1 \t 3 \t 6 \t4,667\t0,333\t3,000\t\r\r\n";
    ASSERT_EQ(batch({"--no-header", "--decimal-separator", ",", "-o", out, file}).status, ExitOk);
    EXPECT_EQ(readFile(out), comma);
    ASSERT_EQ(batch({"--no-header", "-o", out, file}, {{"LANG", "de_DE.UTF-8"}}).status, ExitOk);
    EXPECT_EQ(readFile(out), comma);
    ASSERT_EQ(batch({"--no-header", "-o", out, file},
                    {{"LANG", "de_DE.UTF-8"}, {"LC_NUMERIC", "en_US.UTF-8"}})
                  .status,
              ExitOk);
    EXPECT_EQ(readFile(out), "pp01\t 1 \t 3 \t 6 \t4.667\t0.333\t3.000\t\r\r\n");
}

TEST(BatchRun, RunErrorIsOneLineAndStatusOne) {
    TempDir dir;
    const std::string out = dir.write("study.dat", "an earlier study");
    const Result r = batch({"-o", out, Data + "/pp01.vty", Data + "/broken.vty"});
    EXPECT_EQ(r.status, ExitRunError);
    EXPECT_EQ(r.err, "dozorira-batch: " + Data +
                         "/broken.vty: data line 1 (file line 3), field 6: \"300\" does not fit "
                         "0..255 (Overflow); run with --check in place of -o to find every broken "
                         "task file at once\n");
    EXPECT_EQ(readFile(out), "an earlier study") << "a failed run leaves the output as it was";
}

// Each usage error is one sentence that says what to do; lists of formats come from their table.
TEST(BatchRun, UsageErrorsAreStatusTwo) {
    using dozorira::output::FormatRules;
    const std::string one = Data + "/pp01.vty";
    const std::string three = Data + "/pp03.vty";
    const auto applies = [](bool (*holds)(const FormatRules&)) {
        return std::string(" ").append(dozorira::output::formatsWhere(holds, "and")) + " only)";
    };
    const std::string formats =
        "--format takes " + dozorira::output::formatsWhere([](const FormatRules&) { return true; });
    const std::string noOutput = "-o takes the output file: -o FILE, or -o - for standard output";
    const std::string dashes = "; give a task file whose name begins with - after --";
    const std::string report =
        "--report takes the report file, a name ending in .pdf, or - for standard output";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "give the output file with -o FILE, or use --check"},
        {{one}, "give the output file with -o FILE, or use --check"},
        {{"-o", "x.dat"}, "give the task files, or the folders that hold them"},
        {{one, "-o"}, noOutput},
        {{"--output=", one, one}, noOutput}, // not the first task file as the output
        {{"-o", "x.dat", "--decimal-separator", ";", one}, "--decimal-separator takes . or ,"},
        {{"-o", "x", "--format", "xls", one}, formats},
        {{"-o", "x", one, "--format"}, formats},
        {{"--bogus=1", "-o", "x.dat", one}, "there is no option --bogus" + dashes},
        {{"-o", "x.dat", "--a\nb", one}, "there is no option \"--a\\nb\"" + dashes},
        {{"--no-header=no", "-o", "x.dat", one}, "--no-header takes no value; give it alone"},
        {{"-o", "a.dat", "--output", "b.dat", one},
         "-o/--output is given more than once; give it once"},
        {{"--check", "--no-header", one},
         "--check writes nothing, so --no-header does not apply: leave it out"},
        {{"-o", "x.dat", "--report", "study.sav", one}, report},
        {{"-o", "x.dat", one, "--report"}, report},
        {{"--check", "--report", "-", one},
         "--check prints its lines to standard output, so its report cannot go there: give "
         "--report a file"},
        {{"--verify", "study.json", one},
         "--verify checks a file by what it records: give it alone, without task files or other "
         "options"},
        {{"--verify", "study.sav", "--long"},
         "--verify checks a file by what it records: give it alone, without task files or other "
         "options"},
        {{"--manifest", "m.json", "-o", "-", one},
         "--manifest records the output's SHA-256, which standard output does not keep: write "
         "the output to a file with -o FILE"},
        {{"--manifest", "s.sav", "-o", "s.sav", one},
         "--manifest and -o name the same file; give the manifest a name of its own"},
        {{"--check", "--decimal-separator", ",", "--no-header", one},
         "--check writes nothing, so --no-header and --decimal-separator do not apply: leave "
         "them out"},
        {{"--long", "-o", "x.dat", one},
         "--long does not go with a .dat file, which has one row per participant: leave it out "
         "(it applies to" +
             applies([](const FormatRules& r) { return r.layouts.size() > 1; })},
        {{"--no-header", "-o", "x.sav", one},
         "--no-header does not go with an SPSS file, which always names its columns: leave it "
         "out (it applies to" +
             applies([](const FormatRules& r) { return r.columnNameSwitch; })},
        {{"--decimal-separator", ",", "--format", "dta", "-o", "x", one},
         "--decimal-separator does not go with a Stata file, which holds numbers rather than "
         "text: leave it out (it applies to" +
             applies([](const FormatRules& r) {
                 return r.separator != dozorira::output::DefaultSeparator::None;
             })},
        // Names that would mislead: kinds of file this program does not write, another format
        // than the one asked for, and a task file of the next run.
        {{"-o", "x.xls", one},
         "this program does not write .xls files: write .xlsx instead (-o "
         "x.xlsx)"},
        {{"-o", "Study.ODS", one},
         "this program does not write .ods files: write .xlsx instead "
         "(-o Study.xlsx)"},
        {{"-o", "x.por", one},
         "this program does not write .por files: write .sav instead (-o "
         "x.sav)"},
        {{"--check", "-o", "x.rds", one},
         "this program does not write .rds files: write .tsv "
         "instead (-o x.tsv)"},
        {{"-o", "data/next.VTY", one},
         "an output ending in .vty would be read as a task file by the next run over its folder: "
         "give it another extension, such as .dat"},
        {{"--format", "SAV", "-o", "x.dta", one},
         "the output's extension .dta names a Stata file, but --format asks for sav: give the "
         "output the extension .sav, or leave --format out"},
        {{"--check", "--trials", one},
         "--check --trials checks for a file of rows per trial, but without --format it checks for "
         "the .dat: add --format " +
             dozorira::output::formatsWhere(
                 [](const FormatRules& r) { return r.layouts.size() > 1; })},
        // A mistyped option names the one it most likely meant.
        {{"--no-headr", "-o", "x.dat", one},
         "there is no option --no-headr: did you mean --no-header?"},
        {{"-o", "x.tsv", "--trails", one}, "there is no option --trails: did you mean --trials?"},
        {{"--dec=,", "-o", "x.dat", one},
         "there is no option --dec: did you mean --decimal-separator?"},
        // One participant twice, by the same name or another path to the file.
        {{"-o", "x.dat", one, one},
         "the task file " + one + " is given twice: give each task file once"},
        {{"--check", Data, Data + "/./pp01.vty"},
         "the task file " + one + " is given twice, also as " + Data +
             "/./pp01.vty: give each task file once"},
        // The first that comes again, whichever of two files given twice does.
        {{"-o", "x.dat", three, one, Data + "/pp02.vty", one, three},
         "the task file " + one + " is given twice: give each task file once"},
        {{"-o", "x.dat", one, three, Data + "/pp02.vty", three, one},
         "the task file " + three + " is given twice: give each task file once"}};
    for (const auto& [args, message] : cases) {
        const Result r = batch(args);
        EXPECT_EQ(r.status, ExitUsage) << message;
        EXPECT_EQ(r.err,
                  "dozorira-batch: " + message + "\nRun with --help for more information.\n");
    }
    const std::string epoch = "dozorira-batch: SOURCE_DATE_EPOCH must be a whole number of "
                              "seconds since 1970 up to 253402300799 (the end of the year 9999), "
                              "not ";
    for (const std::string value : {"-1", "1.5", "17e8", "253402300800", "now", "1\n2"}) {
        const Result r = batch({"-o", "x.dta", one}, {{"SOURCE_DATE_EPOCH", value}});
        EXPECT_EQ(r.status, ExitUsage);
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
                  epoch + dozorira::shownName(value, true) + "; set it to one, or unset it");
    }
    // A report carries the time in any run, a .dat's and --check's too.
    using Arguments = std::vector<std::string>;
    for (const Arguments& args : std::vector<Arguments>{{"-o", "x.dat", "--report", "r.pdf", one},
                                                        {"--check", "--report", "r.pdf", one}})
        EXPECT_EQ(batch(args, {{"SOURCE_DATE_EPOCH", "now"}}).status, ExitUsage) << args[0];
    const std::string help = batch({"--help"}).out;
    for (const std::string listed :
         {"--no-header", "SOURCE_DATE_EPOCH", "Exit status:", "&HF", "--report"})
        EXPECT_NE(help.find(listed), std::string::npos) << listed;
    // Every kind of warning that --check counts, by the name it counts it under.
    for (int kind = 0; kind < dozorira::WarningKinds; ++kind) {
        const std::string name(dozorira::shortName(static_cast<dozorira::WarningKind>(kind)));
        EXPECT_NE(help.find("\n  " + name + "  "), std::string::npos) << name;
    }
    EXPECT_EQ(batch({"--version"}).out.rfind("dozorira-batch ", 0), 0u);
}

// Not hidden files, not subfolders; in the byte order of the names, whatever case.
TEST(BatchRun, AFolderGivesTheBytesOfItsTaskFilesListed) {
    TempDir dir;
    std::filesystem::create_directories(dir.path("data/sub.vty"));
    std::filesystem::create_directories(dir.path("empty"));
    const std::vector<std::string> listed = {
        dir.write("data/PP02.VTY", readFile(Data + "/pp02.vty")),
        dir.write("data/pp01.vty", readFile(Data + "/pp01.vty")),
        dir.write("data/pp03.Vty", readFile(Data + "/pp03.vty"))};
    dir.write("data/.pp04.vty", readFile(Data + "/broken.vty"));
    dir.write("data/notes.txt", "not a task file");
    // A sav's notes would name the folder, which the listed files do not come from.
    for (const std::string format : {"dat", "tsv"}) {
        std::vector<std::string> args = {"-o", dir.path("listed." + format)};
        args.insert(args.end(), listed.begin(), listed.end());
        const std::map<std::string, std::string> epoch = {{"SOURCE_DATE_EPOCH", "1700000000"}};
        ASSERT_EQ(batch(args, epoch).status, ExitOk);
        ASSERT_EQ(batch({"-o", dir.path("folder." + format), dir.path("data")}, epoch).status,
                  ExitOk);
        EXPECT_TRUE(readFile(dir.path("listed." + format)) ==
                    readFile(dir.path("folder." + format)));
    }
    // A folder whose only .vty entry is a folder holds no task file.
    std::filesystem::create_directories(dir.path("empty/only.vty"));
    const Result empty = batch({"-o", dir.path("folder.dat"), dir.path("empty/")});
    EXPECT_EQ(empty.status, ExitRunError);
    EXPECT_EQ(empty.err, "dozorira-batch: " + dir.path("empty/") +
                             ": the folder holds no .vty task file (File error)\n");
    // A task file found in a folder is still never the output, under whatever name.
    std::filesystem::create_symlink(listed[1], dir.path("alias.dat"));
    const Result itself = batch({"-o", dir.path("alias.dat"), dir.path("data")});
    EXPECT_EQ(itself.status, ExitRunError);
    EXPECT_EQ(readFile(listed[1]), readFile(Data + "/pp01.vty"));
}

TEST(BatchCheck, ReportsEveryFailingFileAndWritesNothing) {
    const Result r =
        batch({"--check", Data + "/broken.vty", Data + "/pp01.vty", Data + "/missing.vty"});
    EXPECT_EQ(r.status, ExitRunError);
    EXPECT_EQ(r.out, Data +
                         "/broken.vty: data line 1 (file line 3), field 6: \"300\" does not "
                         "fit 0..255 (Overflow)\n" +
                         Data +
                         "/pp01.vty: data line 1 (file line 3), field 6: warning: it counts 4 "
                         "boxes opened but field 7 lists 3 (\"BCA\"): the Open column averages "
                         "field 6, while the between-search errors come from the boxes of field 7 "
                         "(the first of 3 data lines where they differ)\n" +
                         Data +
                         "/missing.vty: cannot open the task file: No such file or "
                         "directory (File error)\n"
                         "1 file: opened count differs\n"
                         "3 files checked for the .dat (--format names another format), 2 with "
                         "errors, 1 with warnings\n");
    const Result ok = batch({"--check", "-o", "x.sav", Data + "/pp02.vty"});
    EXPECT_EQ(ok.status, ExitOk);
    EXPECT_EQ(ok.out, "1 file checked, 0 with errors, 0 with warnings\n");
}

// A file of 127 clusters of 255 trials each, two lines a cluster: 33 of them give more trial rows
// than an xlsx sheet holds, which the run refuses; the check refuses the file that passes it.
TEST(BatchCheck, KnowsTheRowsAnXlsxSheetHoldsForTheLayoutAsked) {
    TempDir dir;
    std::string lines;
    for (int cluster = 0; cluster < 127; ++cluster)
        lines += dozorira::test::dataLine("0", "6", "A", "1", "B") + "\r\n" +
                 dozorira::test::dataLine("254", "6", "A", "1", "B") + "\r\n";
    std::vector<std::string> args = {"--check", "--trials", "-o", dir.path("t.xlsx")};
    for (int copy = 0; copy < 33; ++copy)
        args.push_back(
            dir.write("pp" + std::to_string(copy) + ".vty", dozorira::test::taskFile({}) + lines));
    const std::string& task = args.back();
    const Result xlsx = batch(args);
    EXPECT_EQ(xlsx.status, ExitRunError);
    EXPECT_NE(xlsx.out.find(
                  task +
                  ": with this file the output would hold 1068705 rows, more than "
                  "the 1048575 an xlsx file holds below its header; choose csv "
                  "or tsv (File error)\n32 files: rows that skip\n33 files checked, 1 with errors"),
              std::string::npos)
        << xlsx.out;
    args[3] = dir.path("t.csv");
    EXPECT_EQ(batch(args).status, ExitOk);
    EXPECT_EQ(batch({"--check", "--in-place", task}).err,
              "dozorira-batch: --check writes nothing, so --in-place does not apply: leave it "
              "out\nRun with --help for more information.\n");
}

TEST(BatchCheck, WarnsOfLegalFilesWhoseNumbersNeedALookAndChangesNoOutput) {
    const std::string dir = Data + "/warnings/";
    const std::string first =
        "the run's first file without errors, \"" + dir + "clean.vty\", holds 1";
    // Each file shows one shape; a file of no cluster also differs from the first in its count.
    const std::vector<std::pair<std::string, std::vector<std::string>>> files = {
        {"clean.vty", {}},
        {"before.vty",
         {"data line 1 (file line 3): warning: data line 1 comes before any row number 0, so it "
          "belongs to no cluster and counts in none of the numbers"}},
        {"skipped.vty",
         {"data line 3 (file line 5): warning: cluster 1 counts 6 trials (its last row number plus "
          "one) but holds 3 lines: 3 trials have no line and count as trials that opened no box, "
          "which lowers the cluster's means"}},
        {"stepback.vty",
         {"data line 4 (file line 6): warning: cluster 1 counts 2 trials (its last row number plus "
          "one) but holds 4 lines: its last 2 lines are left out of the means and of the "
          "between-search errors"}},
        {"linefeed.vty",
         {"data line 2 (file line 4): warning: the line holds a line feed without a carriage "
          "return: an editor shows it as a line break, but only CR or CR LF end a line, so all of "
          "it is read as one data line, one trial"}},
        {"header.vty",
         {"warning: header line 1 holds a line feed without a carriage return: if it was meant to "
          "end a line, the first data line is skipped with the header lines and its trial counts "
          "nowhere"}},
        {"noclusters.vty",
         {"warning: no data line has row number 0, so the file holds no cluster: its record holds "
          "no numbers, only the subject and a cluster count of 0",
          "warning: the file holds 0 clusters but " + first +
              ": in a .dat file its record has fewer columns than the column names, which cover 1 "
              "cluster"}},
        {"twoclusters.vty",
         {"warning: the file holds 2 clusters but " + first +
          ": in a .dat file its record has more columns than the column names, which cover 1 "
          "cluster"}},
        {"twin/clean.vty",
         {"warning: its subject \"clean\" is also the subject of \"" + dir +
          "clean.vty\": the output holds two records under one name, one participant counted twice "
          "or two participants mixed up"}},
        {"opened.vty",
         {"data line 1 (file line 3), field 6: warning: it counts 4 boxes opened but field 7 lists "
          "3 (\"BCA\"): the Open column averages field 6, while the between-search errors come "
          "from the boxes of field 7 (the first of 2 data lines where they differ)"}}};
    std::vector<std::string> paths;
    std::string lines;
    for (const auto& [name, warnings] : files) {
        paths.push_back(dir + name);
        for (const std::string& warning : warnings)
            lines += dir + name + ": " + warning + "\n";
    }
    std::vector<std::string> args = {"--check"};
    args.insert(args.end(), paths.begin(), paths.end());
    const Result warned = batch(args);
    EXPECT_EQ(warned.status, ExitOk) << "warnings alone never fail the check";
    // Then how many files have each kind of warning.
    lines += "1 file: lines before row 0\n1 file: no row number 0\n1 file: rows that skip\n"
             "1 file: rows that step back\n1 file: line feed in a line\n"
             "1 file: line feed in header\n1 file: opened count differs\n"
             "2 files: other cluster count\n1 file: subject seen before\n";
    const std::string dat = " checked for the .dat (--format names another format), ";
    EXPECT_EQ(warned.out, lines + "10 files" + dat + "0 with errors, 9 with warnings\n");

    // A failing first file gives its error line and leaves the cluster count to the next file.
    args.insert(args.begin() + 1, Data + "/broken.vty");
    const std::string error = Data + "/broken.vty: data line 1 (file line 3), field 6: \"300\" "
                                     "does not fit 0..255 (Overflow)\n";
    EXPECT_EQ(batch(args).out,
              error + lines + "11 files" + dat + "1 with errors, 9 with warnings\n");

    TempDir out;
    args = {"-o", out.path("study.dat")};
    args.insert(args.end(), paths.begin(), paths.end());
    ASSERT_EQ(batch(args).status, ExitOk);
    EXPECT_EQ(readFile(out.path("study.dat")), readFile(dir + "expected.dat"))
        << "the bytes the program wrote for these files before it warned";
}

TEST(BatchFileNames, OddNamesGiveTheirRecordOrAClearError) {
    TempDir dir;
    const std::string task = readFile(Data + "/pp01.vty");
    const std::string record = "\t 1 \t 3 \t 6 \t4.667\t0.333\t3.000\t\r\r\n";
    const std::string out = dir.path("study.dat");
    // Blanks and bytes that are not UTF-8 (a Latin-1 name from an old lab machine) are kept.
    for (const std::string subject : {"pp 01 a", "pp\xE9\xFF\x80"}) {
        const std::string file = dir.write(subject + ".vty", task);
        ASSERT_EQ(batch({"--no-header", "-o", out, file}).status, ExitOk) << subject;
        EXPECT_EQ(readFile(out), subject + record);
    }
    // A tab or line feed in the subject would shift every column after it.
    for (const std::string subject : {"pp\t01", "pp\n01"}) {
        const std::string file = dir.write(subject + ".vty", task);
        const std::string before = readFile(out);
        const Result r = batch({"-o", out, file});
        EXPECT_EQ(r.status, ExitRunError);
        EXPECT_NE(r.err.find("holds a tab or line break, which would shift the output's columns "
                             "(Invalid argument)"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(readFile(out), before);
        EXPECT_EQ(readFile(file), task);
    }
}

TEST(LocaleSeparator, FollowsTheLanguageAndTerritory) {
    EXPECT_EQ(decimalSeparatorOf("C"), '.');
    EXPECT_EQ(decimalSeparatorOf("POSIX"), '.');
    EXPECT_EQ(decimalSeparatorOf("en_US.UTF-8"), '.');
    EXPECT_EQ(decimalSeparatorOf("nl_NL.UTF-8"), ',');
    EXPECT_EQ(decimalSeparatorOf("de_DE.ISO-8859-15@euro"), ',');
    EXPECT_EQ(decimalSeparatorOf("de_CH.UTF-8"), '.');
    EXPECT_EQ(decimalSeparatorOf("en_ZA.UTF-8"), ',');
    EXPECT_EQ(decimalSeparatorOf("es_MX"), '.');
    EXPECT_EQ(decimalSeparatorOf("es_ES"), ',');
    EXPECT_EQ(decimalSeparatorOf("ar_EG.UTF-8"), '.');
    EXPECT_EQ(decimalSeparatorOf("fr"), ',');
}

TEST(BatchCommand, EndToEndOnTheStudyData) {
    TempDir dir;
    const std::string out = dir.path("study.dat");
    const std::string command = std::string(DOZORIRA_BATCH) + " -o '" + out + "' '" + Data +
                                "/pp01.vty' '" + Data + "/pp02.vty' '" + Data + "/pp03.vty' 2>'" +
                                dir.path("err") + "'";
    EXPECT_EQ(std::system(("LANG=C " + command).c_str()), 0);
    EXPECT_EQ(readFile(out), readFile(Data + "/expected.dat"));
    EXPECT_NE(readFile(dir.path("err")).find("shifted columns"), std::string::npos);

    const std::string failing = std::string(DOZORIRA_BATCH) + " -o '" + out + "' '" + Data +
                                "/broken.vty' 2>'" + dir.path("err") + "'";
    EXPECT_EQ(WEXITSTATUS(std::system(failing.c_str())), 1);
    EXPECT_NE(readFile(dir.path("err")).find("(Overflow); run with --check"), std::string::npos);
}

// The golden files were checked in GNU PSPP and pandas (see readers/read_back.py). The sav, dta
// and xlsx name their task files as given, so they are given by names relative to the output's
// folder, which the golden files hold whatever the test's folder.
TEST(BatchFormats, GoldenFilesWithAFixedTimestamp) {
    TempDir dir;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const WorkingFolder inDir(dir.path(""));
    for (const std::string name : {"pp01.vty", "pp02.vty", "pp03.vty"})
        dir.write(name, readFile(Data + "/" + name));
    for (const std::string name : {"study.tsv", "study-long.tsv", "study.sav", "study-long.dta",
                                   "study-trials.csv", "study.xlsx"}) {
        std::vector<std::string> args = {"-o", name, "pp01.vty", "pp02.vty", "pp03.vty"};
        if (name.find("-long") != std::string::npos) args.emplace_back("--long");
        if (name.find("-trials") != std::string::npos) args.emplace_back("--trials");
        const Result r = batch(args, {{"SOURCE_DATE_EPOCH", "1700000000"}, {"LANG", "de_DE"}});
        EXPECT_EQ(r.status, ExitOk) << r.err;
        EXPECT_TRUE(readFile(dir.path(name)) == readFile(Data + "/" + name)) << name;
        const auto perms = std::filesystem::status(dir.path(name)).permissions();
        EXPECT_EQ(static_cast<mode_t>(perms), 0666 & ~mask) << name;
    }
    // The same bytes in every time zone, also for a time in the hour that a local clock skips
    // (31 March 2024, 02:30 UTC, is no time at all in Amsterdam).
    std::string stamped;
    for (const std::string zone :
         {"UTC", "CET-1CEST,M3.5.0,M10.5.0/3", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        const std::string out = dir.path("zone.sav");
        const std::string command = "TZ='" + zone + "' SOURCE_DATE_EPOCH=1711852200 " +
                                    DOZORIRA_BATCH + " -o '" + out + "' '" + Data + "/pp01.vty'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        if (stamped.empty()) stamped = readFile(out);
        EXPECT_TRUE(readFile(out) == stamped) << zone;
    }
    EXPECT_NE(stamped.find("31 Mar 2402:30:00"), std::string::npos) << "shown in UTC";
}

TEST(BatchFormats, WholeOrUntouched) {
    TempDir dir;
    const std::string latin1 = dir.write("pp\xE9.vty", readFile(Data + "/pp01.vty"));
    const std::string coded = dir.write("pp_x0041_.vty", readFile(Data + "/pp01.vty"));
    // Enough files to be read on several threads.
    std::vector<std::string> outputAmongMany;
    std::filesystem::create_directories(dir.path("many"));
    for (int i = 0; i < 100; ++i)
        outputAmongMany.push_back(
            dir.write("many/pp" + std::to_string(i) + ".vty", readFile(Data + "/pp02.vty")));
    const std::vector<std::string> many(outputAmongMany.begin(), outputAmongMany.begin() + 60);
    outputAmongMany[10] = Data + "/broken.vty";
    outputAmongMany[90] = latin1;
    std::filesystem::create_hard_link(latin1, dir.path("same.dat"));
    struct Case {
        std::string output;
        std::vector<std::string> files;
        std::string message;
        rlim_t diskBytes = 0; // a disk that fills after so many bytes of one file
    };
    const std::vector<Case> cases = {
        {"study.sav", {Data + "/pp01.vty", Data + "/broken.vty"}, "(Overflow)"},
        {"study.tsv", {Data + "/pp01.vty", Data + "/broken.vty"}, "(Overflow)"},
        {"study.csv", {Data + "/pp01.vty", Data + "/broken.vty"}, "(Overflow)"},
        {"study.dta",
         {Data + "/pp01.vty", latin1},
         std::string("\"").append(dir.path("pp")) +
             "\\xE9.vty\": the file name is not UTF-8 text, which a Stata file needs for the "
             "subject; rename the task file (Invalid argument)"},
        {"study.tsv", {latin1}, "(Invalid argument)"},
        {"study.xlsx", {coded}, "code such as _x0041_ that spreadsheets read as another character"},
        {"same.dat", {latin1}, "the output file is this task file"},
        {"same.dat", outputAmongMany, "the output file is this task file"},
        {"study.dta", many, "cannot write the output file: File too large (File error)", 1024},
        {"study.sav", many, "File too large", 1024},
        {"study.tsv", many, "File too large", 1024},
        {"study.xlsx", many, "File too large", 1024},
        // The workbook fits, but the library's temporary file of the sheet does not.
        {"study.xlsx", many, "xl/worksheets/sheet1.xml came out cut short", 16384}};
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        if (c.output != "same.dat") dir.write(c.output, "earlier output");
        const std::string before = readFile(dir.path(c.output));
        std::vector<std::string> args = {"-o", dir.path(c.output)};
        args.insert(args.end(), c.files.begin(), c.files.end());
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{c.diskBytes, limit.rlim_max};
        if (c.diskBytes > 0) setrlimit(RLIMIT_FSIZE, &small);
        const Result r = batch(args);
        setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_EQ(r.status, ExitRunError) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(readFile(dir.path(c.output)), before) << c.message;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path("")))
            EXPECT_EQ(entry.path().filename().string().find(".dozorira"), std::string::npos);
    }
    std::signal(SIGXFSZ, SIG_DFL);
    // A link stays, and the file it leads to is replaced.
    std::filesystem::create_symlink("study.tsv", dir.path("link.tsv"));
    EXPECT_EQ(batch({"-o", dir.path("link.tsv"), Data + "/pp01.vty"}).status, ExitOk);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link.tsv")));
    EXPECT_EQ(readFile(dir.path("study.tsv")),
              "Subject\tClusters\tTrials1\tBoxes1\tOpen1\tW_Err1\tB_err1\n"
              "pp01\t1\t3\t6\t4.667\t0.333\t3.000\n");
}

// What each format's name and extension choose, which options go with it, which subjects it
// refuses, and what --check says for it.
TEST(BatchFormats, EachFormatKeepsItsRules) {
    struct Rules {
        std::string name;
        std::string signature; // how the file begins
        bool noHeader, separator, longLayout, trials, latin1Subject, timestamped,
            clusterCountWarning;
        bool localeDecimals;      // a decimal-comma locale writes 4,667 without --decimal-separator
        bool formulaSubject;      // a subject beginning with = is written
        bool blankSubjectWarning; // --check warns of a subject that begins with a blank
    };
    // clang-format off
    const std::vector<Rules> formats = {
        {"dat", "Subject\tClusters\tTrials1\t", true, true, false, false, true, false, true, true, true, false},
        {"tsv", "Subject\tClusters\tTrials1\t", false, true, true, true, false, false, false, false, true, false},
        {"sav", "$FL2", false, false, true, true, false, true, false, false, true, true},
        {"dta", "<stata_dta>", false, false, true, true, false, true, false, false, true, true},
        {"csv", "Subject;Clusters;Trials1;", false, true, true, true, false, false, false, true, false, false},
        {"xlsx", "PK\x03\x04", false, false, true, true, false, true, false, false, true, false}};
    // clang-format on
    TempDir dir;
    const std::string one = Data + "/pp01.vty";
    const std::string two = Data + "/warnings/twoclusters.vty";
    const std::string latin1 = dir.write("pp\xE9.vty", readFile(one));
    const std::string formula = dir.write("=HYPERLINK(1).vty", readFile(one));
    const std::string blank = dir.write(" lead.vty", readFile(one));
    const std::map<std::string, std::string> german = {{"LANG", "de_DE.UTF-8"}};
    for (const Rules& f : formats) {
        std::string upper = f.name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(c));
        for (const std::vector<std::string>& choice :
             {std::vector<std::string>{"-o", dir.path("x." + f.name)},
              {"-o", dir.path("X." + upper)},
              {"--format", f.name, "-o", dir.path("x")},
              {"--format", upper, "-o", dir.path("y")}}) {
            std::vector<std::string> args = choice;
            args.push_back(one);
            EXPECT_EQ(batch(args, german).status, ExitOk) << f.name;
            const std::string written = readFile(choice.back());
            EXPECT_EQ(written.rfind(f.signature, 0), 0u) << choice.back();
            EXPECT_EQ(written.find("4,667") != std::string::npos, f.localeDecimals) << f.name;
        }
        const std::string out = dir.path("study");
        const auto status = [&](std::vector<std::string> options, const std::string& task,
                                std::map<std::string, std::string> env = {}) {
            options.insert(options.end(), {"--format", f.name, "-o", out, task});
            return batch(options, std::move(env)).status;
        };
        EXPECT_EQ(status({"--no-header"}, one), f.noHeader ? ExitOk : ExitUsage) << f.name;
        EXPECT_EQ(status({"--decimal-separator", ","}, one), f.separator ? ExitOk : ExitUsage);
        EXPECT_EQ(status({"--long"}, one), f.longLayout ? ExitOk : ExitUsage) << f.name;
        EXPECT_EQ(status({"--trials"}, one), f.trials ? ExitOk : ExitUsage) << f.name;
        EXPECT_EQ(status({}, latin1), f.latin1Subject ? ExitOk : ExitRunError) << f.name;
        EXPECT_EQ(status({}, formula), f.formulaSubject ? ExitOk : ExitRunError) << f.name;
        EXPECT_EQ(status({}, one, {{"SOURCE_DATE_EPOCH", "now"}}),
                  f.timestamped ? ExitUsage : ExitOk)
            << f.name;

        const Result check =
            batch({"--check", "-o", dir.path("x." + f.name), one, two, latin1, formula, blank});
        EXPECT_EQ(check.status, f.latin1Subject && f.formulaSubject ? ExitOk : ExitRunError);
        EXPECT_EQ(check.out.find("more columns than the column names") != std::string::npos,
                  f.clusterCountWarning)
            << check.out;
        EXPECT_EQ(check.out.find("UTF-8 text") == std::string::npos, f.latin1Subject) << check.out;
        EXPECT_EQ(check.out.find("runs as a formula when it opens a csv file: write an xlsx or a "
                                 "tsv instead") == std::string::npos,
                  f.formulaSubject)
            << check.out;
        EXPECT_EQ(check.out.find("\" lead\" begins with a blank") != std::string::npos,
                  f.blankSubjectWarning)
            << check.out;
    }
}

// A study copied to another folder still verifies, under another time zone and locale; one
// changed byte, a task file removed or added, or a changed output is named, and nothing is
// written, whichever way the file is verified.
TEST(BatchProvenance, VerifyNamesEveryChangeAndWritesNothing) {
    namespace fs = std::filesystem;
    TempDir dir;
    fs::create_directories(dir.path("made/data"));
    for (const std::string name : {"pp01.vty", "pp02.vty", "pp03.vty"})
        dir.write("made/data/" + name, readFile(Data + "/" + name));
    const auto listing = [&dir] {
        std::string all;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path("")))
            all += entry.path().string() + " " +
                   std::to_string(entry.is_regular_file() ? entry.file_size() : 0) + " " +
                   std::to_string(entry.last_write_time().time_since_epoch().count()) + "\n";
        return all;
    };
    std::string output;
    const std::vector<std::pair<std::string, std::function<void()>>> changes = {
        {"data/pp02.vty: the task file changed since \"study.X\" was made (its SHA-256 differs)",
         [&] {
             std::string bytes = readFile(dir.path("moved/data/pp02.vty"));
             bytes[100] ^= 1;
             dir.write("moved/data/pp02.vty", bytes);
         }},
        {"data/pp03.vty: the task file is missing",
         [&] { fs::remove(dir.path("moved/data/pp03.vty")); }},
        {"data/pp04.vty: a task file added to the folder \"data\" since the run",
         [&] { dir.write("moved/data/pp04.vty", readFile(Data + "/pp01.vty")); }},
        {"study.X: the output changed since the manifest was written (its SHA-256 differs)",
         [&] { dir.write("moved/" + output, readFile(dir.path("moved/" + output)) + "\n"); }}};
    for (const std::string format : {"sav", "dta", "xlsx", "csv"}) {
        output = "study." + format;
        {
            const WorkingFolder made(dir.path("made"));
            ASSERT_EQ(batch({"-o", output, "--manifest", "study.json", "data"}).status, ExitOk);
        }
        const std::string copy = "rm -rf '" + dir.path("moved") + "' && cp -a '" +
                                 dir.path("made") + "' '" + dir.path("moved") + "'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        const std::string verify = "cd '" + dir.path("moved") +
                                   "' && TZ=NZST-12 LANG=de_DE.UTF-8 " + DOZORIRA_BATCH +
                                   " --verify study.json > verified";
        EXPECT_EQ(std::system(verify.c_str()), 0) << format;
        EXPECT_EQ(readFile(dir.path("moved/verified")), output + " matches its 3 task files\n");
        const bool notes = format == "sav" || format == "dta";
        for (const auto& [problem, change] : changes) {
            ASSERT_EQ(std::system(copy.c_str()), 0);
            const WorkingFolder moved(dir.path("moved"));
            change();
            const std::string before = listing();
            std::string line = problem;
            if (const auto at = line.find("study.X"); at != std::string::npos)
                line.replace(at, 7, output);
            const Result byManifest = batch({"--verify", "study.json"});
            EXPECT_EQ(byManifest.status, ExitRunError);
            EXPECT_EQ(byManifest.out, line + "\n" + output + " does not match its 3 task files\n");
            if (notes) {
                const Result byNotes = batch({"--verify", output});
                EXPECT_EQ(byNotes.status, ExitRunError) << byNotes.out;
                if (problem.find("manifest") != std::string::npos)
                    line = output + ": the output differs from the file its task files give";
                EXPECT_EQ(byNotes.out.substr(0, line.size() + 1), line + "\n") << byNotes.err;
            }
            EXPECT_EQ(listing(), before) << "--verify writes nothing";
        }
    }
}

// The manifest is found with the output, before any task file is read, and written whole after
// it: a run that fails leaves both as they were. A check writes its manifest once every file
// has passed.
TEST(BatchProvenance, TheManifestIsWholeOrUntouched) {
    TempDir dir;
    const std::string one = Data + "/pp01.vty";
    const std::string output = dir.write("study.sav", "an earlier study");
    const std::string manifest = dir.write("study.json", "an earlier manifest");
    const Result missing =
        batch({"-o", output, "--manifest", dir.path("none/study.json"), one, Data + "/broken.vty"});
    EXPECT_EQ(missing.status, ExitRunError);
    EXPECT_NE(missing.err.find("none/study.json: the output folder"), std::string::npos)
        << missing.err;
    EXPECT_EQ(batch({"-o", output, "--manifest", manifest, one, Data + "/broken.vty"}).status,
              ExitRunError);
    EXPECT_EQ(readFile(output) + readFile(manifest), "an earlier studyan earlier manifest");

    const std::string check = dir.path("check.json");
    EXPECT_EQ(batch({"--check", "--manifest", check, one, Data + "/broken.vty"}).status,
              ExitRunError);
    EXPECT_FALSE(std::filesystem::exists(check));
    EXPECT_EQ(batch({"--check", "--manifest", check, one}).status, ExitOk);
    EXPECT_NE(readFile(check).find("\"output\": null"), std::string::npos);
    EXPECT_EQ(batch({"--verify", check}).out, check + ": its 1 task file match\n");
}

// A run in the study's folder that writes its output and manifest into subfolders names the task
// files from there; moved elsewhere and verified from yet another folder, both still find them.
TEST(BatchProvenance, RelativeNamesAreFoundFromTheOutputsAndTheManifestsFolder) {
    namespace fs = std::filesystem;
    TempDir dir;
    fs::create_directories(dir.path("made/data"));
    fs::create_directories(dir.path("made/results"));
    fs::create_directories(dir.path("made/records"));
    dir.write("made/data/pp01.vty", readFile(Data + "/pp01.vty"));
    dir.write("made/pp02.vty", readFile(Data + "/pp02.vty"));
    {
        const WorkingFolder made(dir.path("made"));
        ASSERT_EQ(batch({"-o", "results/study.dta", "--manifest", "records/study.json", "data",
                         "./pp02.vty"})
                      .status,
                  ExitOk);
    }
    fs::rename(dir.path("made"), dir.path("moved"));
    const WorkingFolder root(dir.path(""));
    for (const std::string verified : {"moved/results/study.dta", "moved/records/study.json"}) {
        const Result r = batch({"--verify", verified});
        EXPECT_EQ(r.out, "moved/results/study.dta matches its 2 task files\n") << r.err;
    }
    fs::remove(dir.path("moved/pp02.vty"));
    EXPECT_EQ(batch({"--verify", "moved/results/study.dta"}).out,
              "moved/pp02.vty: the task file is missing\n"
              "moved/results/study.dta does not match its 2 task files\n");
}
