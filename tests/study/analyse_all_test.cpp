// A run of many task files is read on several threads and gives what reading them one by one
// gives.
#include "analyse_all.h"
#include "analysis.h"
#include "test_support.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dozorira;
using namespace dozorira::study;
using dozorira::test::TempDir;

namespace {

const ResultCheck Unchecked = [](const ParticipantResult&, const std::string&) {};

// 300 task files, of two clusters from index 150 on so that a mix-up shows.
std::vector<std::string> threeHundredFiles(const TempDir& dir) {
    std::vector<std::string> files;
    const std::string worked = dozorira::test::workedTaskFile();
    for (int i = 0; i < 300; ++i)
        files.push_back(dir.write("pp" + std::to_string(i) + ".vty",
                                  i < 150 ? worked : worked + worked.substr(worked.find("\n0\t"))));
    return files;
}

} // namespace

TEST(AnalyseAll, ResultsInOrderAndTheFirstFailingFileInOrderEndsTheRun) {
    TempDir dir;
    std::vector<std::string> files = threeHundredFiles(dir);
    std::vector<ParticipantResult> oneByOne;
    for (const std::string& file : files)
        oneByOne.push_back(analyseTaskFile(file));
    EXPECT_EQ(analyseAll(files, Unchecked), oneByOne);

    files[290] = dir.write("late.vty", "h1\r\nh2\r\nnot a data line\r\n");
    files[200] = dir.path("missing.vty");
    const ResultCheck refuse250 = [&](const ParticipantResult&, const std::string& path) {
        if (path == files[250]) throw RunError(ErrorKind::InvalidArgument, "refused");
    };
    for (int round = 0; round < 20; ++round) {
        EXPECT_EQ(test::runErrorOf([&] { analyseAll(files, refuse250); }).file(), files[200]);
        files[100] = files[250];
        EXPECT_EQ(test::runErrorOf([&] { analyseAll(files, refuse250); }).problem(), "refused");
        files[100] = files[99];
    }
}

TEST(AnalyseAll, PipesAreReadInTheirTurnAndNeverOpenedAfterAFailingFile) {
    TempDir dir;
    std::vector<std::string> files = threeHundredFiles(dir);
    for (const int pipe : {100, 201})
        ASSERT_EQ(::mkfifo(dir.path("pipe" + std::to_string(pipe)).c_str(), 0600), 0);
    files[100] = dir.path("pipe100");
    // A file slow to fail, right before a pipe that no program ever writes.
    files[200] = dir.write("slow.vty", std::string(8 << 20, 'x') + "\r\nh2\r\nnot a data line");
    files[201] = dir.path("pipe201");
    std::vector<bool> regular(files.size(), true);
    regular[100] = regular[201] = false;
    // Each file looked at by the thread that reads it, or all by the run beforehand.
    for (const std::vector<bool>& known : {std::vector<bool>(), regular}) {
        auto writer = std::async(std::launch::async, [&] {
            std::ofstream(files[100], std::ios::binary) << dozorira::test::workedTaskFile();
        });
        auto run = std::async(std::launch::async, [&] {
            return test::runErrorOf([&] { analyseAll(files, Unchecked, known); }).file();
        });
        if (run.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
            ADD_FAILURE() << "the run waits for a pipe after the failing file";
            ::close(::open(files[201].c_str(), O_WRONLY | O_NONBLOCK)); // lets it end
        }
        EXPECT_EQ(run.get(), files[200]);
        if (writer.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
            ADD_FAILURE() << "the pipe before the failing file is not read";
            test::readFile(files[100]); // lets the writer end
        }
    }
}
