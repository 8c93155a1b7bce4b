#pragma once

#include "descriptor.h"
#include "temporary_file.h"

#include <memory>
#include <string>

namespace dozorira::files {

// A temporary file in the temporary folder (TMPDIR, or /tmp), for work that need not be beside
// the output: a file composed there before it is copied, or a library's scratch. It is a
// TemporaryFile, so nothing of it outlives the program. A folder where it cannot be made is a File
// error that names the output it was for and the folder, by TMPDIR where that chose it.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& outputName);

    TemporaryFile& file() { return *file_; }
    const TemporaryFile& file() const { return *file_; }

private:
    Descriptor folder_;
    std::unique_ptr<TemporaryFile> file_;
};

} // namespace dozorira::files
