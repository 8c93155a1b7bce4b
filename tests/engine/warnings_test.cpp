#include "analysis.h"
#include "error.h"
#include "warnings.h"

#include <gtest/gtest.h>

using namespace dozorira;

namespace {

const std::string Folder = std::string(DOZORIRA_TEST_DATA) + "/warnings/";

// The warning lines of one task file of the folder, each without the file name before it.
std::vector<std::string> warningsOf(const std::string& name) {
    ClusterTables tables;
    analyseTaskFile(Folder + name, &tables);
    std::vector<std::string> lines;
    for (const Warning& warning : fileWarnings(tables, Folder + name))
        lines.push_back(warning.message().substr(Folder.size() + name.size() + 2));
    return lines;
}

} // namespace

TEST(NumberWarnings, NameTheFirstFieldOfEachKindAndHowManyLinesHaveIt) {
    const std::pair<std::string, std::vector<std::string>> files[] = {
        {"blanks.vty", {}},
        {"nonumber.vty",
         {"data line 3 (file line 5), field 0: warning: \"abc\" reads as 0 and starts cluster 2: "
          "a numeric field with no leading number reads as 0 (the first of 2 data lines with a "
          "numeric field without a number)"}},
        {"textafter.vty",
         {"data line 2 (file line 4), field 6: warning: \"6x\" reads as 6: reading a number stops "
          "at the first character that cannot continue it (the first of 2 data lines with text "
          "after a number)"}},
        {"hexoctal.vty",
         {"data line 2 (file line 4), field 2: warning: \"&HF\" reads as 15: &H leads a "
          "hexadecimal number and &O an octal one (the first of 2 data lines with a number in "
          "hexadecimal or octal)"}},
        {"rounded.vty",
         {"data line 3 (file line 5), field 6: warning: \"4.5\" reads as 4: a number that is not "
          "whole is rounded, an exact half to the even neighbour (the only data line with a "
          "number that gets rounded)"}},
        {"opened.vty",
         {"data line 1 (file line 3), field 6: warning: it counts 4 boxes opened but field 7 "
          "lists 3 (\"BCA\"): the Open column averages field 6, while the between-search errors "
          "come from the boxes of field 7 (the first of 2 data lines where they differ)"}},
    };
    for (const auto& [name, lines] : files)
        EXPECT_EQ(warningsOf(name), lines) << name;
}

TEST(FileNamesInMessages, ShowOnOneLineAndPlainNamesAsTheyAre) {
    const std::pair<std::string, std::string> names[] = {
        {"data/pp 01\xC3\xA9.vty", "data/pp 01\xC3\xA9.vty"},
        {"a\nb\tc\r\\\"", R"("a\nb\tc\r\\\"")"},
        {"pp\xE9\x01\x7F.vty", R"("pp\xE9\x01\x7F.vty")"},
        // A C1 control, a surrogate, a code point beyond U+10FFFF, an overlong "/".
        {"\xC2\x85\xED\xA0\x80\xF4\x90\x80\x80\xC0\xAF",
         R"("\xC2\x85\xED\xA0\x80\xF4\x90\x80\x80\xC0\xAF")"},
    };
    for (const auto& [name, shown] : names)
        EXPECT_EQ(shownName(name), shown);
    EXPECT_EQ(shownName("pp.vty", true), "\"pp.vty\"");
    EXPECT_STREQ(RunError(ErrorKind::FileError, "gone").inFile("a\nb").what(),
                 R"("a\nb": gone (File error))");
    EXPECT_EQ((Warning{"a\nb", 2, "odd", 6}.message()),
              R"("a\nb": data line 2 (file line 4), field 6: warning: odd)");
}
