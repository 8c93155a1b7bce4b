#include "error.h"
#include "file_list.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace dozorira;
using dozorira::test::runErrorOf;
using namespace std::string_literals;

TEST(SelectionSplitting, OnePathOrAFolderAndNames) {
    using Pieces = std::vector<std::string>;
    EXPECT_EQ(splitSelection("/d/pp01.vty"), Pieces{"/d/pp01.vty"});
    EXPECT_EQ(splitSelection("/d\0a.vty\0b.vty"s), (Pieces{"/d", "a.vty", "b.vty"}));
    EXPECT_EQ(splitSelection("/d\0a.vty\0b.vty\0"s), (Pieces{"/d", "a.vty", "b.vty"}));
    EXPECT_EQ(splitSelection("/d\0\0b.vty"s), (Pieces{"/d", "", "b.vty"}));
    EXPECT_EQ(splitSelection("\0a.vty"s), (Pieces{"", "a.vty"}));
    EXPECT_EQ(splitSelection(""), Pieces{});
}

TEST(TaskFileList, JoinsFolderAndNamesInOrder) {
    TaskFileList list;
    EXPECT_EQ(list.fileCount(), 0);
    EXPECT_TRUE(list.taskFiles().empty());

    list.select("/d/pp01.vty");
    EXPECT_EQ(list.fileCount(), 1);
    EXPECT_EQ(list.taskFiles(), std::vector<std::string>{"/d/pp01.vty"});

    list.select("/d\0b.vty\0a.vty\0c.vty"s);
    EXPECT_EQ(list.fileCount(), 4);
    EXPECT_EQ(list.taskFiles(), (std::vector<std::string>{"/d/b.vty", "/d/a.vty", "/d/c.vty"}));

    list.select("/\0a.vty"s);
    EXPECT_EQ(list.taskFiles(), std::vector<std::string>{"//a.vty"});

    list.select("");
    EXPECT_EQ(list.fileCount(), 0);
    EXPECT_EQ(list.slot(2), "a.vty") << "higher slots keep old names, unread";
}

TEST(TaskFileList, RefusesMoreThan199FilesAsAWhole) {
    auto selection = [](int names) {
        std::string s = "/d";
        for (int i = 0; i < names; ++i)
            s += "\0f"s + std::to_string(i) + ".vty";
        return s;
    };
    TaskFileList list;
    list.select(selection(199));
    EXPECT_EQ(list.fileCount(), 200);
    list.select("/e\0x.vty"s);
    EXPECT_STREQ(runErrorOf([&] { list.select(selection(200)); }).what(),
                 "200 files were chosen; at most 199 files of one folder can be chosen at once "
                 "(Subscript out of range)");
    EXPECT_EQ(list.fileCount(), 2);
    EXPECT_EQ(list.taskFiles(), std::vector<std::string>{"/e/x.vty"});
}
