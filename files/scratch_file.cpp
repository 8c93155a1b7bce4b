#include "scratch_file.h"

#include "error.h"
#include "record_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>

namespace dozorira::files {

ScratchFile::ScratchFile(const std::string& outputName) {
    const char* variable = std::getenv("TMPDIR");
    const bool fromVariable = variable != nullptr && *variable != '\0';
    const std::string folder = fromVariable ? variable : "/tmp";
    const std::string failed = "cannot make a temporary file in " +
                               std::string(fromVariable ? "TMPDIR " : "") +
                               shownName(folder, true) + " for";
    folder_ = Descriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_) failOutput(outputName, failed, errno);
    removeLeftovers(folder_.get());
    file_ = std::make_unique<TemporaryFile>(folder_.get(), folder, 0600);
    if (file_->error() != 0) failOutput(outputName, failed, file_->error());
}

} // namespace dozorira::files
