#include "target.h"

#include "error.h"
#include "permissions.h"
#include "record_file.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace dozorira::files {
namespace {

namespace fs = std::filesystem;

constexpr int MaxLinkHops = 40; // as the kernel allows

// The descriptor that "-" or a name such as /dev/fd/3 or /proc/self/fd/3 stands for, however its
// slashes are spelled; -1 for any other name.
int descriptorSpelled(const std::string& path) {
    if (path == "-") return STDOUT_FILENO;
    const std::string normal = fs::path(path).lexically_normal().string();
    if (normal == "/dev/stdout") return STDOUT_FILENO;
    if (normal == "/dev/stderr") return STDERR_FILENO;
    const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string_view folder : {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/"})
        for (const std::string_view prefix : {folder, std::string_view(own)}) {
            if (!std::string_view(normal).starts_with(prefix)) continue;
            const std::string_view digits = std::string_view(normal).substr(prefix.size());
            int fd = -1;
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), fd);
            if (error == std::errc() && end == digits.data() + digits.size()) return fd;
        }
    return -1;
}

// Standard output or standard error under any other name: the same file or pipe, by device and
// inode. Writing into it, rather than replacing the file behind it, is what the shell that opened
// it expects (`-o /dev//stdout >> log` appends to the log).
int standardStreamAt(const std::string& path) {
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0) return -1;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat open {};
        if (::fstat(fd, &open) == 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino)
            return fd;
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

[[noreturn]] void refuse(const std::string& name, const std::string& problem) {
    throw RunError(ErrorKind::FileError, problem).inFile(name);
}

fs::path folderOf(const fs::path& file) {
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

// Opens the folder that file lies in, relative to the folder `from`.
Descriptor openFolder(const std::string& name, int from, const fs::path& file) {
    Descriptor folder(::openat(from, folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) return folder;
    if (errno == ENOENT || errno == ENOTDIR)
        refuse(name,
               "the output folder " + shownName(folderOf(file).string(), true) + " does not exist");
    failOutput(name, "cannot open", errno);
}

// What the kernel's protected_symlinks, protected_fifos and protected_regular refuse, whether or
// not they are switched on: in a folder where others may put files, a name that someone other
// than the user and the folder's owner put there may be a trap laid for whoever writes it.
void refusePlanted(const OutputTarget& target, const struct stat& entry) {
    const struct stat& folder = target.folderStatus;
    const bool othersMayWrite =
        (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (!othersMayWrite || entry.st_uid == ::geteuid() || entry.st_uid == folder.st_uid) return;
    const char* what = S_ISLNK(entry.st_mode)    ? "symbolic link"
                       : S_ISFIFO(entry.st_mode) ? "pipe (FIFO)"
                       : S_ISREG(entry.st_mode)  ? "file"
                                                 : nullptr;
    if (what == nullptr) return;
    refuse(target.name, std::string("the output is a ") + what + " of " + userName(entry.st_uid) +
                            " in a folder where others may put files (sticky): it may have been "
                            "put there to catch the study, so it is not written; choose another "
                            "output file");
}

// Follows the output's symbolic links by hand, each step relative to the folder reached so far,
// so that the file at the end of them is named by a folder opened once and a name in it.
// Returns the entry's status, or nothing when no entry of that name exists.
bool findEntry(OutputTarget& target, struct stat& entry) {
    for (int hops = 0; hops <= MaxLinkHops; ++hops) {
        if (::fstat(target.folder.get(), &target.folderStatus) != 0)
            failOutput(target.name, "cannot open", errno);
        if (::fstatat(target.folder.get(), target.leaf.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) failOutput(target.name, "cannot open", errno);
            if (hops > 0)
                refuse(target.name, "the output is a symbolic link to " +
                                        shownName(target.file.string(), true) +
                                        ", which does not exist; give that file's name itself");
            return false;
        }
        if (!S_ISLNK(entry.st_mode)) return true;
        refusePlanted(target, entry);
        std::string link(PATH_MAX, '\0');
        const ssize_t size =
            ::readlinkat(target.folder.get(), target.leaf.c_str(), link.data(), link.size());
        if (size < 0) failOutput(target.name, "cannot open", errno);
        const fs::path next(link.substr(0, static_cast<std::size_t>(size)));
        target.folder = openFolder(target.name, target.folder.get(), next);
        target.file = next.is_absolute() || target.file.parent_path().empty()
                          ? next
                          : target.file.parent_path() / next;
        target.leaf = next.filename().string();
    }
    failOutput(target.name, "cannot open", ELOOP);
}

} // namespace

OutputTarget openTarget(const std::string& path) {
    if (path.empty()) throw RunError(ErrorKind::FileError, "no output file was given");
    if (const int fd = descriptorSpelled(path); fd >= 0)
        return streamTarget(path == "-" ? "standard output" : path, fd);
    if (const int fd = standardStreamAt(path); fd >= 0) return streamTarget(path, fd);
    const fs::path file(path);
    if (!file.has_filename()) refuse(path, "the output is a folder; choose an output file");
    OutputTarget target;
    target.name = path;
    target.file = file;
    target.leaf = file.filename().string();
    target.folder = openFolder(path, AT_FDCWD, file);
    struct stat entry {};
    if (!findEntry(target, entry)) return target;
    if (S_ISDIR(entry.st_mode)) refuse(path, "the output is a folder; choose an output file");
    refusePlanted(target, entry);
    // Opened for writing without being changed: this is where permissions refuse the output,
    // before anything is read.
    target.descriptor = Descriptor(retryOnInterrupt([&] {
        return ::openat(target.folder.get(), target.leaf.c_str(),
                        O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    }));
    if (!target.descriptor || ::fstat(target.descriptor.get(), &target.status) != 0)
        failOutput(path, "cannot open", errno);
    target.kind = S_ISREG(target.status.st_mode) ? OutputTarget::Kind::ExistingFile
                                                 : OutputTarget::Kind::Stream;
    return target;
}

} // namespace dozorira::files
