#include "whole_file.h"

#include "error.h"
#include "record_file.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace dozorira::files {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t BufferSize = std::size_t{64} * 1024;

std::string randomName() {
    std::random_device random;
    constexpr char hex[] = "0123456789abcdef";
    std::string name = ".dozorira-";
    for (int i = 0; i < 12; ++i)
        name += hex[random() % 16];
    return name + ".tmp";
}

bool writeAll(int fd, const char* data, std::size_t size, int& error) noexcept {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// A file named only because the file system cannot make unnamed ones is removed when a signal
// ends the program; the name is kept where a signal handler can reach it.
std::array<char, 4096> namedFile{};
constexpr std::array<int, 4> EndingSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

extern "C" void removeNamedFileAndEnd(int signal) {
    if (namedFile[0] != '\0') ::unlink(namedFile.data());
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void watchNamedFile(const std::string& name) {
    if (name.size() >= namedFile.size()) return;
    std::memcpy(namedFile.data(), name.c_str(), name.size() + 1);
    for (const int signal : EndingSignals)
        std::signal(signal, removeNamedFileAndEnd);
}

void forgetNamedFile() {
    for (const int signal : EndingSignals)
        std::signal(signal, SIG_DFL);
    namedFile[0] = '\0';
}

// Signals that would end the program are held back while the new file has a name of its own
// but has not yet taken the output's place, so that no such name outlives the program.
class HeldSignals {
public:
    HeldSignals() {
        sigset_t ending;
        sigemptyset(&ending);
        for (const int signal : EndingSignals)
            sigaddset(&ending, signal);
        pthread_sigmask(SIG_BLOCK, &ending, &saved_);
    }
    ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

private:
    sigset_t saved_{};
};

// Gives the unnamed file a name in folder; 0, or the reason it failed.
int linkAs(int file, int folder, const std::string& name) noexcept {
    const std::string self = "/proc/self/fd/" + std::to_string(file);
    if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return errno;
    // No /proc: the way that needs privileges.
    return ::linkat(file, "", folder, name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// Puts the unnamed file in the place of the existing file name in folder. A file cannot be
// renamed without a name of its own, and that name would outlive a program killed between the
// link and the rename; a child process makes both, and finishes them even when this program is
// killed, with any signal, while it waits. Returns 0, or the reason it failed.
int replaceByLink(int file, int folder, const std::string& name) {
    std::string link = randomName();
    for (int attempt = 0; attempt < 100; ++attempt, link = randomName()) {
        const pid_t child = ::vfork();
        if (child < 0) return errno;
        if (child == 0) {
            if (const int error = linkAs(file, folder, link); error != 0) ::_exit(error);
            if (::renameat(folder, link.c_str(), folder, name.c_str()) == 0) ::_exit(0);
            const int error = errno;
            ::unlinkat(folder, link.c_str(), 0);
            ::_exit(error);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0)
            if (errno != EINTR) return errno;
        const int error = WIFEXITED(status) ? WEXITSTATUS(status) : ECHILD;
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

fs::path folderOf(const fs::path& file) {
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// An unnamed file in folder, or a named one where the file system cannot make unnamed files.
// Fails with errno.
Descriptor createIn(const fs::path& folder, std::string& named) {
    Descriptor file(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (file || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return file;
    std::string pattern = (folder / ".dozorira-XXXXXX").string();
    file = Descriptor(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!file) return file;
    named = pattern;
    watchNamedFile(named);
    ::fchmod(file.get(), newFileMode());
    return file;
}

// Extended attributes, access-control lists among them, go with the file to its new inode; where
// one cannot be read or given, the output is written in place and keeps them all.
bool copyExtendedAttributes(int from, int to) {
    const ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0) return size == 0 || errno == ENOTSUP;
    std::string names(static_cast<std::size_t>(size), '\0');
    if (::flistxattr(from, names.data(), names.size()) != size) return false;
    std::string value;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* name = names.c_str() + at;
        const ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        if (length < 0) return false;
        value.resize(static_cast<std::size_t>(length));
        if (::fgetxattr(from, name, value.data(), value.size()) != length ||
            ::fsetxattr(to, name, value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

} // namespace

WholeFile::WholeFile(OutputTarget target) : target_(std::move(target)) {
    if (target_.kind == OutputTarget::Kind::Stream) return;
    if (target_.kind == OutputTarget::Kind::ExistingFile && target_.status.st_nlink > 1)
        replace_ = Replace::ByCopy; // a rename would leave the other names with the old study
    createBeside();
    if (target_.kind == OutputTarget::Kind::ExistingFile) keepOwnerAndMode();
}

WholeFile::~WholeFile() {
    if (named_.empty()) return;
    ::unlink(named_.c_str());
    forgetNamedFile();
}

void WholeFile::createBeside() {
    file_ = createIn(folderOf(target_.file), named_);
    if (file_) return;
    // A file that may be written in a folder that may not: its bytes can still be copied in.
    if (target_.kind == OutputTarget::Kind::ExistingFile && (errno == EACCES || errno == EPERM)) {
        replace_ = Replace::ByCopy;
        createElsewhere();
        return;
    }
    fail("cannot create", errno);
}

void WholeFile::createElsewhere() {
    const char* temporary = std::getenv("TMPDIR");
    file_ = createIn(temporary && *temporary ? temporary : "/tmp", named_);
    if (!file_) fail("cannot make a temporary file for", errno);
}

// A renamed file is owned by whoever made it; where the output's owner or group cannot be given
// to it, the bytes are copied into the output instead.
void WholeFile::keepOwnerAndMode() {
    if (replace_ == Replace::ByCopy) return;
    struct stat made {};
    if (::fstat(file_.get(), &made) != 0) fail("cannot create", errno);
    const struct stat& was = target_.status;
    if ((made.st_uid != was.st_uid || made.st_gid != was.st_gid) &&
        ::fchown(file_.get(), was.st_uid, was.st_gid) != 0) {
        replace_ = Replace::ByCopy;
        return;
    }
    if (::fchmod(file_.get(), was.st_mode & 07777) != 0) fail("cannot create", errno);
    if (!copyExtendedAttributes(target_.descriptor.get(), file_.get())) replace_ = Replace::ByCopy;
}

bool WholeFile::write(const void* data, std::size_t size) noexcept {
    if (writeError_ != 0) return false;
    if (buffer_.size() + size > BufferSize && !flush()) return false;
    if (size < BufferSize) {
        buffer_.append(static_cast<const char*>(data), size);
        return true;
    }
    const int fd = file_ ? file_.get() : target_.descriptor.get();
    return writeAll(fd, static_cast<const char*>(data), size, writeError_);
}

bool WholeFile::flush() noexcept {
    if (writeError_ != 0) return false;
    const int fd = file_ ? file_.get() : target_.descriptor.get();
    const bool written = writeAll(fd, buffer_.data(), buffer_.size(), writeError_);
    buffer_.clear();
    return written;
}

void WholeFile::throwIfFailed() const {
    if (writeError_ != 0) fail("cannot write", writeError_);
}

std::string WholeFile::pathForLibrary() {
    if (!file_) createElsewhere();
    libraryWrote_ = true;
    return named_.empty() ? "/proc/self/fd/" + std::to_string(file_.get()) : named_;
}

void WholeFile::readBack(const std::function<void(std::string_view)>& take) {
    flush();
    throwIfFailed();
    if (!file_) fail("cannot read back", EBADF);
    std::array<char, BufferSize> block;
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(file_.get(), block.data(), block.size(), at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail("cannot read back", errno);
        if (got == 0) return;
        take({block.data(), static_cast<std::size_t>(got)});
        at += got;
    }
}

void WholeFile::commit() {
    flush();
    throwIfFailed();
    if (target_.kind == OutputTarget::Kind::Stream) {
        if (libraryWrote_) copyTo(target_.descriptor.get());
        return;
    }
    if (::fsync(file_.get()) != 0) fail("cannot write", errno);
    if (replace_ == Replace::ByRename)
        linkInPlace();
    else
        copyInPlace();
}

// The new file takes the output's name in one rename, so that a reader sees the earlier output
// or the new one and never a mix; then the folder is flushed, so that the rename lasts too.
void WholeFile::linkInPlace() {
    const fs::path folder = folderOf(target_.file);
    const Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd) fail("cannot replace", errno);
    const std::string name = target_.file.filename().string();
    if (!named_.empty()) {
        if (::renameat(AT_FDCWD, named_.c_str(), folderFd.get(), name.c_str()) != 0)
            fail("cannot replace", errno);
        named_.clear();
        forgetNamedFile();
    } else {
        const HeldSignals held;
        // Where there was no output, the file takes its name at once; it has no other.
        int error = target_.kind == OutputTarget::Kind::NewFile
                        ? linkAs(file_.get(), folderFd.get(), name)
                        : EEXIST;
        if (error == EEXIST) error = replaceByLink(file_.get(), folderFd.get(), name);
        if (error != 0) fail("cannot replace", error);
    }
    if (::fsync(folderFd.get()) != 0) fail("cannot write", errno);
}

// The output itself receives the bytes, for its hard links and its owner. Space is reserved
// first, so that a full disk refuses before any byte of the output changes; another run that
// copies into the same file waits for this one.
void WholeFile::copyInPlace() {
    struct stat made {};
    if (::fstat(file_.get(), &made) != 0) fail("cannot write", errno);
    const int output = target_.descriptor.get();
    if (::flock(output, LOCK_EX) != 0) fail("cannot write", errno);
    if (::fallocate(output, FALLOC_FL_KEEP_SIZE, 0, made.st_size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        fail("cannot write", errno);
    copyTo(output);
    if (::ftruncate(output, made.st_size) != 0 || ::fsync(output) != 0) fail("cannot write", errno);
}

// Copies the new file from its start to fd, at the offset fd is at.
void WholeFile::copyTo(int fd) {
    std::array<char, BufferSize> block;
    off_t at = 0;
    for (;;) {
        const ssize_t got = ::pread(file_.get(), block.data(), block.size(), at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail("cannot write", errno);
        if (got == 0) return;
        int error = 0;
        if (!writeAll(fd, block.data(), static_cast<std::size_t>(got), error))
            fail("cannot write", error);
        at += got;
    }
}

void WholeFile::fail(std::string_view what, int error) const {
    failOutput(target_.name, what, error);
}

} // namespace dozorira::files
