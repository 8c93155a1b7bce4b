#include "target.h"

#include "error.h"

#include <filesystem>
#include <system_error>

namespace dozorira::output {

void refuseTaskFileAsOutput(const std::string& outputPath,
                            const std::vector<std::string>& taskFiles) {
    std::error_code ec;
    if (!std::filesystem::exists(outputPath, ec)) return;
    for (const std::string& path : taskFiles) {
        if (std::filesystem::equivalent(outputPath, path, ec))
            throw RunError(ErrorKind::FileError,
                           "the output file is this task file; choose another output file")
                .inFile(path);
    }
}

} // namespace dozorira::output
