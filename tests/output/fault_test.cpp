// Whatever state the files are in, a run gives the exact records or a clear error, and never
// changes a task file.
#include "dat_run.h"
#include "error.h"
#include "file_list.h"
#include "test_support.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace dozorira;
using namespace dozorira::output;
using dozorira::test::dataLine;
using dozorira::test::readFile;
using dozorira::test::taskFile;
using dozorira::test::TempDir;

namespace {

const std::string Worked = dozorira::test::workedTaskFile();
using dozorira::test::WorkedRecordFields;

RunError runError(const std::string& output, const std::vector<std::string>& taskFiles) {
    DatRun run(output, DatOptions{false, '.'});
    return dozorira::test::runErrorOf([&] { run.run(taskFiles); });
}

// The most memory this process has held so far, in MiB.
long peakMemoryMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

bool setImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

// Write protection that holds even for root where the file system allows it (the immutable
// flag); plain permissions otherwise, which root passes through.
class ReadOnly {
public:
    explicit ReadOnly(std::string path) : path_(std::move(path)) {
        std::filesystem::permissions(path_, std::filesystem::perms::owner_read);
        immutable_ = setImmutable(path_, true);
    }
    ~ReadOnly() {
        if (immutable_) setImmutable(path_, false);
    }
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;

    bool holds() const { return ::access(path_.c_str(), W_OK) != 0 || immutable_; }

private:
    std::string path_;
    bool immutable_ = false;
};

} // namespace

TEST(OutputFaults, AReadOnlyOutputIsAFileErrorAndStaysAsItWas) {
    TempDir dir;
    const std::string task = dir.write("pp01.vty", Worked);
    const std::string output = dir.write("study.dat", "earlier results");
    const ReadOnly guard(output);
    if (!guard.holds()) GTEST_SKIP() << "this user may write read-only files";
    const RunError e = runError(output, {task});
    EXPECT_EQ(e.kind(), ErrorKind::FileError);
    EXPECT_EQ(e.problem().rfind("cannot open the output file: ", 0), 0u) << e.what();
    EXPECT_EQ(readFile(output), "earlier results");
    EXPECT_EQ(readFile(task), Worked);
}

// A file-size limit stands in for a disk that fills up in the middle of a record: the write
// stops part-way, as it would on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(OutputFaults, ADiskThatFillsUpMidRecordLeavesOnlyWholeRecords) {
    TempDir dir;
    const std::string task = dir.write("pp01.vty", Worked);
    const std::string output = dir.path("study.dat");
    const std::string record = "pp01" + std::string(WorkedRecordFields);
    RunError e(ErrorKind::FileError, "none");
    {
        // Room for one record and a half.
        const FileSizeLimit limit(record.size() * 3 / 2);
        e = runError(output, {task, task, task});
    }
    EXPECT_EQ(e.kind(), ErrorKind::FileError);
    EXPECT_EQ(e.file(), output);
    EXPECT_EQ(e.problem(), "cannot write the output file: File too large");
    EXPECT_EQ(readFile(output), record);
}

TEST(TaskFileFaults, AFileThatDisappearsAfterTheSelectionEndsTheRunAtThatFile) {
    TempDir dir;
    const std::string first = dir.write("pp01.vty", Worked);
    dir.write("pp02.vty", Worked);
    const std::string third = dir.write("pp03.vty", Worked);
    TaskFileList list;
    using namespace std::string_literals;
    list.select(std::filesystem::path(first).parent_path().string() +
                "\0pp01.vty\0pp02.vty\0pp03.vty"s);
    std::filesystem::remove(dir.path("pp02.vty"));

    const std::string output = dir.path("study.dat");
    const RunError e = runError(output, list.taskFiles());
    EXPECT_EQ(e.kind(), ErrorKind::FileError);
    EXPECT_EQ(e.problem(), "cannot open the task file: No such file or directory");
    EXPECT_EQ(std::filesystem::path(e.file()).filename(), "pp02.vty");
    EXPECT_EQ(readFile(output), "pp01" + std::string(WorkedRecordFields));
    EXPECT_EQ(readFile(first), Worked);
    EXPECT_EQ(readFile(third), Worked);
}

TEST(TaskFileFaults, AFolderNamedAsATaskFileIsAFileError) {
    TempDir dir;
    std::filesystem::create_directories(dir.path("folder.vty"));
    const RunError e = runError(dir.path("out.dat"), {dir.path("folder.vty")});
    EXPECT_EQ(e.kind(), ErrorKind::FileError);
    EXPECT_EQ(e.problem(), "cannot read the task file: Is a directory");
}

TEST(TaskFileFaults, ATaskFileWithoutReadPermissionIsAFileError) {
    TempDir dir;
    const std::string locked = dir.write("locked.vty", Worked);
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (::access(locked.c_str(), R_OK) == 0) GTEST_SKIP() << "this user may read any file";
    const RunError e = runError(dir.path("out.dat"), {locked});
    EXPECT_EQ(e.problem(), "cannot open the task file: Permission denied");
}

TEST(TaskFileFaults, NonAsciiBytesAreBoxesLikeAnyOther) {
    TempDir dir;
    // Latin-1 box names from an old lab machine: a one-byte box found in trial 1 and opened in
    // trial 2 is a between-search error; a two-byte UTF-8 name is never one box.
    const std::string latin1 =
        dir.write("pp\xE9.vty",
                  taskFile({dataLine("0", "6", "\xE9", "2", "\xE9\xFC", "\xFC"),
                            dataLine("1", "6", "\xC3\xA9", "2", "\xE9\xC3\xA9", "\xE9 \xFC ")}));
    DatRun run(dir.path("out.dat"), DatOptions{false, '.'});
    run.run({latin1});
    EXPECT_EQ(readFile(dir.path("out.dat")), "pp\xE9\t 1 \t 2 \t 6 \t2.000\t1.500\t1.000\t\r\r\n");
}

TEST(TaskFileFaults, HugeFilesAreRefusedWithoutReadingThemIntoMemory) {
    TempDir dir;
    const long peakBefore = peakMemoryMiB();
    // A gigabyte of zero bytes, as a damaged copy can leave: stored sparse, it costs no disk. Its
    // first header line ends where a data line would, at 16 MiB, and so does a device's that
    // never ends.
    const std::string noLineEnds = dir.path("sparse.vty");
    { std::ofstream(noLineEnds, std::ios::binary); }
    std::filesystem::resize_file(noLineEnds, 1ull << 30);
    RunError e(ErrorKind::FileError, "none");
    for (const std::string& endless : {noLineEnds, std::string("/dev/zero")}) {
        e = runError(dir.path("out.dat"), {endless});
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
        EXPECT_EQ(e.problem(), "header line 1: the line is longer than 16 MiB, far longer than "
                               "any task file's lines");
    }

    // The same gigabyte after two good header lines: one endless data line.
    const std::string endlessLine = dir.write("endless.vty", taskFile({}));
    std::filesystem::resize_file(endlessLine, 1ull << 30);
    e = runError(dir.path("out.dat"), {endlessLine});
    EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    EXPECT_EQ(e.dataLine(), 1);

    std::string lines;
    for (int n = 0; n < 100'000; ++n)
        lines += dataLine(std::to_string(n % 10), "6", "A", "1", "B") + "\r\n";
    const std::string manyLines = dir.write("long.vty", taskFile({}) + lines);
    e = runError(dir.path("out.dat"), {manyLines});
    EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
    EXPECT_EQ(e.dataLine(), 256);
    EXPECT_EQ(e.problem(), "a task file holds at most 255 data lines");
    // Each gigabyte read into memory would show here; the line bound allows 16 MiB at a time.
    EXPECT_LT(peakMemoryMiB() - peakBefore, 128);
}
