#include "task_file_guard.h"

#include "error.h"

#include <filesystem>
#include <system_error>

namespace dozorira::output {
namespace {

[[noreturn]] void refuse(const std::string& taskFile) {
    throw RunError(ErrorKind::FileError,
                   "the output file is this task file; choose another output file")
        .inFile(taskFile);
}

} // namespace

void refuseTaskFileAsOutput(const std::string& outputPath,
                            const std::vector<std::string>& taskFiles) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(outputPath, ec)) return;
    for (const std::string& path : taskFiles)
        if (fs::equivalent(outputPath, path, ec)) refuse(path);
}

void refuseTaskFileAsOutput(const files::OutputTarget& target, const study::TaskFiles& taskFiles) {
    if (target.kind == files::OutputTarget::Kind::NewFile) return;
    for (std::size_t i = 0; i < taskFiles.paths.size(); ++i) {
        const study::FileLook& look = taskFiles.looks[i];
        if (look.found && look.device == target.status.st_dev && look.inode == target.status.st_ino)
            refuse(taskFiles.paths[i]);
    }
}

} // namespace dozorira::output
