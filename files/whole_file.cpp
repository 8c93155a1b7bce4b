#include "whole_file.h"

#include "error.h"
#include "permissions.h"
#include "record_file.h"
#include "rename_child.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace dozorira::files {
namespace {

constexpr std::size_t BufferSize = std::size_t{64} * 1024;
constexpr const char* InPlaceHint = "; give --in-place to write into the file itself";

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A file bind-mounted in the output's place (as into a container) cannot be renamed over.
bool isMountPoint(int file, const struct stat& status, const struct stat& folder) {
    struct statx extended {};
    if (::statx(file, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &extended) == 0 &&
        (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0)
        return (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return status.st_dev != folder.st_dev;
}

bool folderRefused(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// The output's folder as the path names it, for messages and for libraries that write by name.
std::string folderPathOf(const OutputTarget& target) {
    return target.file.parent_path().empty() ? std::string(".")
                                             : target.file.parent_path().string();
}

} // namespace

WholeFile::WholeFile(OutputTarget target, Writing writing)
    : target_(std::move(target)), writing_(writing) {
    if (target_.kind == OutputTarget::Kind::Stream) return;
    const bool inPlace =
        target_.kind == OutputTarget::Kind::ExistingFile && writing_ == Writing::InPlace;
    if (!inPlace) refuseUnreplaceable();
    if (inPlace)
        createElsewhere();
    else
        createBeside();
    if (target_.kind == OutputTarget::Kind::ExistingFile && !inPlace &&
        target_.status.st_nlink > 1) {
        const auto others = target_.status.st_nlink - 1;
        notes_.push_back(shownName(target_.name) + ": the output had " +
                         (others == 1
                              ? "another name (a hard link), which keeps"
                              : std::to_string(others) + " other names (hard links), which keep") +
                         " the earlier study; give --in-place to write into every name");
    }
}

WholeFile::~WholeFile() = default;

// Refused before anything is read: what a rename cannot replace.
void WholeFile::refuseUnreplaceable() const {
    if (target_.kind != OutputTarget::Kind::ExistingFile) return;
    if (isMountPoint(target_.descriptor.get(), target_.status, target_.folderStatus))
        throw RunError(ErrorKind::FileError,
                       std::string("cannot replace the output file: it is a mount point, a file "
                                   "mounted in that place") +
                           InPlaceHint)
            .inFile(target_.name);
}

void WholeFile::createBeside() {
    removeLeftovers(target_.folder.get());
    const mode_t mode = target_.kind == OutputTarget::Kind::NewFile ? 0666 : 0600;
    beside_ = std::make_unique<TemporaryFile>(
        target_.folder.get(),
        target_.file.parent_path().empty() ? std::string(".") : target_.file.parent_path().string(),
        mode);
    const int error = beside_->error();
    if (error == 0) {
        file_ = beside_.get();
        return;
    }
    beside_.reset();
    if (target_.kind == OutputTarget::Kind::ExistingFile && folderRefused(error))
        throw RunError(ErrorKind::FileError,
                       "cannot replace the output file: its folder " +
                           shownName(folderPathOf(target_), true) + " may not be written (" +
                           std::generic_category().message(error) + ")" + InPlaceHint)
            .inFile(target_.name);
    fail("cannot create", error);
}

// In the temporary folder: for a stream a library writes by name, and for --in-place.
void WholeFile::createElsewhere() {
    elsewhere_ = std::make_unique<ScratchFile>(target_.name);
    file_ = &elsewhere_->file();
}

bool WholeFile::write(const void* data, std::size_t size) noexcept {
    if (writeError_ != 0) return false;
    if (buffer_.size() + size > BufferSize && !flush()) return false;
    if (size < BufferSize) {
        buffer_.append(static_cast<const char*>(data), size);
        return true;
    }
    const int fd = file_ ? file_->fd() : target_.descriptor.get();
    return writeAll(fd, static_cast<const char*>(data), size, writeError_);
}

bool WholeFile::flush() noexcept {
    if (writeError_ != 0) return false;
    const int fd = file_ ? file_->fd() : target_.descriptor.get();
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
    return file_->path();
}

void WholeFile::prepare() {
    if (prepared_) return;
    flush();
    throwIfFailed();
    if (file_) prepareFile();
    prepared_ = true; // only once all of it succeeded: a failed prepare is never committed
}

void WholeFile::prepareFile() {
    const int file = file_->fd();
    if (::fsync(file) != 0) fail("cannot write", errno);
    if (target_.kind == OutputTarget::Kind::NewFile) {
        if (file_->named() && ::fchmod(file, newFileMode()) != 0) fail("cannot create", errno);
        return;
    }
    if (target_.kind != OutputTarget::Kind::ExistingFile) return;
    if (writing_ == Writing::Replace) {
        keepPermissions(target_.name, target_.descriptor.get(), target_.status, file, notes_);
        return;
    }
    reserveInPlace();
}

// In place: another run that copies into the same file waits for this one, and a full disk
// refuses before any byte of the output changes.
void WholeFile::reserveInPlace() {
    struct stat made {};
    const int output = target_.descriptor.get();
    if (::fstat(file_->fd(), &made) != 0 ||
        retryOnInterrupt([&] { return ::flock(output, LOCK_EX); }) != 0)
        fail("cannot write", errno);
    if (made.st_size == 0) return;
    if (::fallocate(output, FALLOC_FL_KEEP_SIZE, 0, made.st_size) == 0) return;
    if (errno == EOPNOTSUPP || errno == ENOSYS)
        throw RunError(ErrorKind::FileError,
                       "cannot write the output file in place: its file system cannot reserve "
                       "space for the new study first, so a full disk could leave it half "
                       "written; the output is left as it was")
            .inFile(target_.name);
    fail("cannot write", errno);
}

void WholeFile::readBack(const std::function<void(std::string_view)>& take) {
    flush();
    throwIfFailed();
    if (!file_) fail("cannot read back", EBADF);
    readBlocks("cannot read back", take);
}

void WholeFile::commit() {
    prepare();
    if (target_.kind == OutputTarget::Kind::Stream) {
        if (libraryWrote_) copyTo(target_.descriptor.get());
        return;
    }
    if (target_.kind == OutputTarget::Kind::ExistingFile && writing_ == Writing::InPlace)
        copyInPlace();
    else
        putInPlace();
}

// The new file takes the output's name in one rename, so that a reader sees the earlier output
// or the new one and never a mix; then the folder is flushed, so that the rename lasts too.
void WholeFile::putInPlace() {
    const int folder = target_.folder.get();
    int error = 0;
    if (file_->named()) {
        error = file_->renameTo(target_.leaf);
    } else {
        // Where there was no output, the file takes its name at once; it has no other.
        error = target_.kind == OutputTarget::Kind::NewFile
                    ? linkUnnamed(file_->fd(), folder, target_.leaf)
                    : EEXIST;
        if (error == EEXIST) {
            const Replacement outcome = replaceByLink(file_->fd(), folder, target_.leaf);
            if (outcome.killedBy != 0 && outcome.replaced) {
                ::fsync(folder);
                failAfterChange("the output file holds the new study, but the process that put "
                                "it there was killed (signal " +
                                std::to_string(outcome.killedBy) + ") before it could say so");
            }
            error = outcome.replaced ? 0 : outcome.error;
        }
    }
    if (error == EBUSY)
        throw RunError(ErrorKind::FileError,
                       std::string("cannot replace the output file: it is a mount point, a file "
                                   "mounted in that place") +
                           InPlaceHint)
            .inFile(target_.name);
    if (error != 0) fail("cannot replace", error);
    if (::fsync(folder) != 0)
        failAfterChange("the output file holds the new study, but its folder could not be "
                        "flushed to disk (" +
                        std::generic_category().message(errno) +
                        "), so a power cut may still bring back the earlier one");
}

// The output itself receives the bytes. Every signal that can be held waits until the copy is
// done; from the first byte on, a failure leaves the output changed.
void WholeFile::copyInPlace() {
    struct stat made {};
    if (::fstat(file_->fd(), &made) != 0) fail("cannot write", errno);
    const int output = target_.descriptor.get();
    const HeldSignals held;
    try {
        if (::lseek(output, 0, SEEK_SET) != 0) fail("cannot write", errno);
        copyTo(output);
        if (::ftruncate(output, made.st_size) != 0 || ::fsync(output) != 0)
            fail("cannot write", errno);
    } catch (const RunError& e) {
        failAfterChange(e.problem() + "; it was being written in place and may now hold part of "
                                      "the new study: run again");
    }
    // Another run may have renamed its study over the output meanwhile, or someone removed it.
    struct stat named {};
    if (::fstatat(target_.folder.get(), target_.leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != target_.status.st_dev || named.st_ino != target_.status.st_ino)
        failAfterChange("the new study was written into the output file, but its name no longer "
                        "leads to that file: it was replaced or removed during the run; run again");
}

// Copies the new file from its start to fd, at the offset fd is at.
void WholeFile::copyTo(int fd) {
    readBlocks("cannot write", [&](std::string_view block) {
        int error = 0;
        if (!writeAll(fd, block.data(), block.size(), error)) fail("cannot write", error);
    });
}

// Gives take the new file from its start, a block at a time.
void WholeFile::readBlocks(std::string_view failing,
                           const std::function<void(std::string_view)>& take) {
    std::array<char, BufferSize> block;
    for (off_t at = 0;;) {
        const ssize_t got =
            retryOnInterrupt([&] { return ::pread(file_->fd(), block.data(), block.size(), at); });
        if (got < 0) fail(failing, errno);
        if (got == 0) return;
        take({block.data(), static_cast<std::size_t>(got)});
        at += got;
    }
}

void WholeFile::fail(std::string_view what, int error) const {
    failOutput(target_.name, what, error);
}

void WholeFile::failAfterChange(const std::string& problem) const {
    throw RunError(ErrorKind::FileError, problem).inFile(target_.name).afterOutputChanged();
}

} // namespace dozorira::files
