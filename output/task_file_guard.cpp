#include "task_file_guard.h"

#include "error.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace dozorira::output {
namespace {

namespace fs = std::filesystem;
using Kind = files::OutputTarget::Kind;

[[noreturn]] void refuse(const std::string& taskFile, std::string_view role) {
    throw RunError(ErrorKind::FileError, "the " + std::string(role) +
                                             " is this task file; choose another " +
                                             std::string(role))
        .inFile(taskFile);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Files that do not exist yet are the same when their paths lead to the same place.
bool samePlace(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    const fs::path first = fs::weakly_canonical(fs::absolute(a), ec);
    return !ec && first == fs::weakly_canonical(fs::absolute(b), ec) && !ec;
}

} // namespace

void refuseTaskFileAsOutput(const std::string& outputPath,
                            const std::vector<std::string>& taskFiles) {
    std::error_code ec;
    if (!fs::exists(outputPath, ec)) return;
    for (const std::string& path : taskFiles)
        if (fs::equivalent(outputPath, path, ec)) refuse(path, "output file");
}

void refuseTaskFileAsOutput(const files::OutputTarget& target, const study::TaskFiles& taskFiles,
                            std::string_view role) {
    if (target.kind == Kind::NewFile) return;
    for (std::size_t i = 0; i < taskFiles.paths.size(); ++i) {
        const study::FileLook& look = taskFiles.looks[i];
        if (look.found && look.device == target.status.st_dev && look.inode == target.status.st_ino)
            refuse(taskFiles.paths[i], role);
    }
}

void refuseOneFileForTwo(const files::OutputTarget& file, std::string_view role,
                         const files::OutputTarget& other, std::string_view otherRole) {
    const bool same = file.kind == Kind::NewFile || other.kind == Kind::NewFile
                          ? file.kind == other.kind && samePlace(file.file, other.file)
                          : sameFile(file.status, other.status);
    if (same)
        throw RunError(ErrorKind::FileError, "the " + std::string(role) + " is the " +
                                                 std::string(otherRole) + "; choose another " +
                                                 std::string(role))
            .inFile(file.name);
}

void refuseStandardOutputAsReport(const files::OutputTarget& report) {
    struct stat standardOutput {};
    if (report.kind == Kind::NewFile || ::fstat(STDOUT_FILENO, &standardOutput) != 0 ||
        !sameFile(report.status, standardOutput))
        return;
    throw RunError(ErrorKind::FileError, "--check prints its lines to standard output, so the "
                                         "report cannot go there too; give --report a file")
        .inFile(report.name);
}

} // namespace dozorira::output
