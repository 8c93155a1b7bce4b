// The safe writing on its own: where an output is found, how a new file takes its place, what a
// failure leaves, and what a killed run left behind.
#include "commit_all.h"
#include "error.h"
#include "temporary_file.h"
#include "test_support.h"
#include "whole_file.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace dozorira;
using namespace dozorira::files;
using dozorira::test::readFile;
using dozorira::test::runErrorOf;
using dozorira::test::TempDir;
namespace fs = std::filesystem;

namespace {

void writeWhole(const std::string& path, std::string_view bytes) {
    WholeFile file(openTarget(path));
    file.write(bytes);
    file.commit();
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(OutputTargets, StandardOutputByAnySpellingAndEveryRefusal) {
    TempDir dir;
    dir.write("earlier.dat", "earlier");
    fs::create_directory_symlink(dir.path("nowhere"), dir.path("dangling"));
    fs::create_symlink("loop2", dir.path("loop1"));
    fs::create_symlink("loop1", dir.path("loop2"));
    using Kind = OutputTarget::Kind;
    const struct {
        std::string path;
        Kind kind;
        std::string refusal; // a part of the File error, when it is one
    } cases[] = {
        {"-", Kind::Stream, ""},
        {"/dev//stdout", Kind::Stream, ""},
        {"/dev/./stdout", Kind::Stream, ""},
        {"/proc/self/fd//1", Kind::Stream, ""},
        {"/proc/thread-self/fd/1", Kind::Stream, ""},
        {dir.path("new.dat"), Kind::NewFile, ""},
        {dir.path("earlier.dat"), Kind::ExistingFile, ""},
        {dir.path(""), Kind::NewFile, "the output is a folder; choose an output file"},
        {dir.path("missing/out.dat"), Kind::NewFile, "missing\" does not exist"},
        {dir.path("dangling"), Kind::NewFile, "which does not exist; give that file's name"},
        {dir.path("loop1"), Kind::NewFile, "Too many levels of symbolic links"},
    };
    for (const auto& c : cases) {
        if (c.refusal.empty()) {
            EXPECT_EQ(openTarget(c.path).kind, c.kind) << c.path;
            continue;
        }
        const RunError e = runErrorOf([&] { openTarget(c.path); });
        EXPECT_NE(e.problem().find(c.refusal), std::string::npos) << e.what();
        EXPECT_EQ(e.kind(), ErrorKind::FileError);
    }
    EXPECT_EQ(namesIn(dir.path("")),
              (std::vector<std::string>{"dangling", "earlier.dat", "loop1", "loop2"}));
}

TEST(WholeFiles, ReplacedByRenameKeepingModeAndAttributesAndOnlyItsOwnName) {
    TempDir dir;
    const std::string output = dir.write("study.dat", "earlier");
    ::chmod(output.c_str(), 0640);
    const bool attributes = ::setxattr(output.c_str(), "user.study", "pilot", 5, 0) == 0;
    fs::create_hard_link(output, dir.path("copy.dat"));
    WholeFile file(openTarget(output));
    file.write("new study");
    file.commit();
    EXPECT_EQ(readFile(output), "new study");
    EXPECT_EQ(readFile(dir.path("copy.dat")), "earlier");
    EXPECT_EQ(fs::status(output).permissions(), fs::perms(0640));
    ASSERT_EQ(file.notes().size(), 1u);
    EXPECT_NE(file.notes()[0].find("another name (a hard link), which keeps the earlier study"),
              std::string::npos);
    std::array<char, 8> value{};
    if (attributes) {
        EXPECT_EQ(::getxattr(output.c_str(), "user.study", value.data(), value.size()), 5);
    }
    EXPECT_EQ(namesIn(dir.path("")), (std::vector<std::string>{"copy.dat", "study.dat"}));
}

TEST(WholeFiles, InPlaceWritesEveryNameOfTheFile) {
    TempDir dir;
    const std::string output = dir.write("study.dat", "a much longer earlier study");
    fs::create_hard_link(output, dir.path("copy.dat"));
    WholeFile file(openTarget(output), Writing::InPlace);
    file.write("new study");
    file.commit();
    EXPECT_EQ(readFile(dir.path("copy.dat")), "new study");
    EXPECT_TRUE(file.notes().empty());
}

// Every step after the output is found goes through its folder as it was opened: a folder
// renamed, and a link to another put in its place, cannot send the output there.
TEST(WholeFiles, AFolderSwappedMidRunCannotRedirectTheOutput) {
    TempDir dir;
    fs::create_directory(dir.path("study"));
    fs::create_directory(dir.path("elsewhere"));
    WholeFile file(openTarget(dir.path("study/out.dat")));
    file.write("new study");
    fs::rename(dir.path("study"), dir.path("moved"));
    fs::create_directory_symlink(dir.path("elsewhere"), dir.path("study"));
    file.commit();
    EXPECT_EQ(readFile(dir.path("moved/out.dat")), "new study");
    EXPECT_TRUE(fs::is_empty(dir.path("elsewhere")));
}

// Outputs are prepared first, then put in place in order: a failure before the first leaves all
// as they were, one after it says which holds what.
TEST(WholeFiles, CommitAllSaysWhichOutputHoldsWhat) {
    TempDir dir;
    for (const bool firstFails : {true, false}) {
        const std::string first = dir.write("first.dat", "earlier first");
        const std::string second = dir.write("second.dat", "earlier second");
        WholeFile one(openTarget(first));
        WholeFile two(openTarget(second));
        one.write("new first");
        two.write("new second");
        // A folder under the name makes the rename fail, after everything was prepared.
        const std::string failing = firstFails ? first : second;
        fs::remove(failing);
        fs::create_directories(failing + "/inside");
        const RunError e = runErrorOf([&] { commitAll({&one, &two}); });
        EXPECT_EQ(e.outputChanged(), !firstFails) << e.what();
        if (!firstFails) {
            EXPECT_EQ(readFile(first), "new first");
            EXPECT_NE(e.problem().find("; \"" + first + "\" holds the new study, \"" + second +
                                       "\" holds the earlier one"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(e.file(), failing);
        fs::remove_all(failing);
        fs::remove(firstFails ? second : first);
    }
}

TEST(WholeFiles, ANewFileGetsTheModeOfAnyNewFile) {
    TempDir dir;
    const mode_t mask = ::umask(027);
    writeWhole(dir.path("new.dat"), "new study");
    ::umask(mask);
    EXPECT_EQ(fs::status(dir.path("new.dat")).permissions(), fs::perms(0640));
    EXPECT_EQ(readFile(dir.path("new.dat")), "new study");
}

// What a run killed with kill -9 left goes with the next run; a live run's file, locked, stays.
TEST(TemporaryFiles, LeftoversOfEndedRunsAreRemovedAndLiveOnesKept) {
    TempDir dir;
    const std::string ended = dir.write(".dozorira-0123456789ab.tmp", "killed run");
    const std::string live = dir.write(".dozorira-ba9876543210.tmp", "live run");
    dir.write(".dozorira-notours.tmp", "someone else's");
    dir.write("study.dat", "study");
    const int held = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const int folder = ::open(dir.path("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    removeLeftovers(folder);
    ::close(folder);
    ::close(held);
    EXPECT_EQ(namesIn(dir.path("")),
              (std::vector<std::string>{".dozorira-ba9876543210.tmp", ".dozorira-notours.tmp",
                                        "study.dat"}));
    EXPECT_TRUE(isTemporaryName(temporaryName()));
}

TEST(TemporaryFiles, AnUnnamedFileLeavesNothingBehind) {
    TempDir dir;
    {
        WholeFile file(openTarget(dir.path("out.dat")));
        file.write("never committed");
    }
    EXPECT_TRUE(fs::is_empty(dir.path("")));
}
