#pragma once

#include "descriptor.h"

#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace dozorira::files {

// Where a run's output goes. It is found before any task file is read, so that an output that
// cannot be written fails at once. The output's folder is opened here, once: every later step
// names the file relative to it, so that a folder renamed or swapped for a link mid-run cannot
// send the output elsewhere.
struct OutputTarget {
    enum class Kind {
        NewFile,      // nothing there yet: made with the permissions any new file gets
        ExistingFile, // a regular file that may be written; replaced keeping what it was
        Stream,       // standard output, a device or a pipe: written straight into
    };
    Kind kind = Kind::NewFile;
    std::string name;            // the output as messages name it
    std::filesystem::path file;  // a file's path at the end of its symbolic links, for messages
    Descriptor folder;           // the folder of that file, unless a stream
    std::string leaf;            // the file's name in that folder
    Descriptor descriptor;       // open for writing, unless a new file
    struct stat status {};       // unless a new file
    struct stat folderStatus {}; // unless a stream
};

// "-" is standard output, and so is any name of the file or pipe standard output is (/dev/stdout,
// /proc/self/fd/1, however spelled); /dev/fd/N names descriptor N. An output that may not be
// written, a folder, a symbolic-link loop, a missing folder, a symbolic link that leads nowhere,
// or, in a folder where others may put files (sticky and writable by others), a pipe, a link or a
// file that neither the user nor the folder's owner owns: each is a File error.
OutputTarget openTarget(const std::string& path);

} // namespace dozorira::files
