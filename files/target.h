#pragma once

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace dozorira::files {

// A file descriptor that is closed however its owner ends.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor();
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Where a run's output goes. It is found before any task file is read, so that an output that
// cannot be written fails at once.
struct OutputTarget {
    enum class Kind {
        NewFile,      // nothing there yet: made with the permissions any new file gets
        ExistingFile, // a regular file that may be written; replaced keeping what it was
        Stream,       // standard output, a device or a pipe: written straight into
    };
    Kind kind = Kind::NewFile;
    std::string name;           // the output as messages name it
    std::filesystem::path file; // a file's path at the end of its symbolic links, which stay
    Descriptor descriptor;      // open for writing, unless a new file
    struct stat status {};      // unless a new file
};

// "-" is standard output, and so are /dev/stdout and the other names of an open descriptor. An
// output that may not be written, a folder, a symbolic-link loop or a missing folder is a File
// error.
OutputTarget openTarget(const std::string& path);

} // namespace dozorira::files
