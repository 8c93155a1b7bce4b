#include "target.h"

#include "error.h"
#include "record_file.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace dozorira::files {
namespace {

namespace fs = std::filesystem;

// Links are followed by hand rather than by canonical(), because the file at the end of them
// need not exist yet; a loop has been refused by open() before this is called.
fs::path followLinks(fs::path path) {
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(path, ec); ++hops) {
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

// The descriptor that "-" or a name such as /dev/stdout or /proc/self/fd/3 stands for. Writing
// into it, rather than replacing the file behind it, is what the shell that opened it expects.
int descriptorNamed(std::string_view path) {
    if (path == "-" || path == "/dev/stdout") return STDOUT_FILENO;
    if (path == "/dev/stderr") return STDERR_FILENO;
    for (const std::string_view folder : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!path.starts_with(folder)) continue;
        const std::string_view digits = path.substr(folder.size());
        int fd = -1;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
        if (error == std::errc() && end == digits.data() + digits.size()) return fd;
    }
    return -1;
}

OutputTarget streamTarget(std::string name, int fd) {
    OutputTarget target;
    target.kind = OutputTarget::Kind::Stream;
    target.name = std::move(name);
    target.descriptor = Descriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!target.descriptor || ::fstat(target.descriptor.get(), &target.status) != 0)
        failOutput(target.name, "cannot write", errno);
    return target;
}

// Why a file that is not there cannot be made: its folder is missing or is no folder.
void refuseMissingFolder(const std::string& name, const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return;
    throw RunError(ErrorKind::FileError,
                   "the output folder " + shownName(folder.string(), true) + " does not exist")
        .inFile(name);
}

} // namespace

Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

OutputTarget openTarget(const std::string& path) {
    if (path.empty()) throw RunError(ErrorKind::FileError, "no output file was given");
    if (const int fd = descriptorNamed(path); fd >= 0)
        return streamTarget(path == "-" ? "standard output" : path, fd);
    OutputTarget target;
    target.name = path;
    // Opened for writing without being changed: this is where permissions, a folder or a loop
    // of links refuse the output, before anything is read.
    target.descriptor = Descriptor(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!target.descriptor) {
        if (errno == EISDIR)
            throw RunError(ErrorKind::FileError, "the output is a folder; choose an output file")
                .inFile(path);
        if (errno != ENOENT) failOutput(path, "cannot open", errno);
        target.file = followLinks(path);
        refuseMissingFolder(path, target.file);
        return target;
    }
    if (::fstat(target.descriptor.get(), &target.status) != 0)
        failOutput(path, "cannot open", errno);
    if (!S_ISREG(target.status.st_mode)) {
        target.kind = OutputTarget::Kind::Stream;
        return target;
    }
    target.kind = OutputTarget::Kind::ExistingFile;
    target.file = followLinks(path);
    return target;
}

} // namespace dozorira::files
