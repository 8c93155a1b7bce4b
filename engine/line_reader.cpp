#include "line_reader.h"

#include "error.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace dozorira {
namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr std::size_t UsualFirstRead = ReadSizes{}.first;
constexpr int NotOpened = -2; // a file that the reader was not to open

// What follows every read in the buffer: a CR that is not the file's, so that a search for a
// line's end stops there at the latest, and bytes that may be read past it.
constexpr std::array<char, 1 + LineReader::ReadAhead> AfterRead = {CR};

// A run reads thousands of files one after another; they all share one buffer instead of each
// taking and freeing its own.
thread_local std::unique_ptr<char[]> spareBuffer;

std::unique_ptr<char[]> bufferOf(std::size_t size) {
    if (size == UsualFirstRead && spareBuffer) return std::move(spareBuffer);
    return std::make_unique_for_overwrite<char[]>(size + AfterRead.size());
}

void keepSpare(std::unique_ptr<char[]> buffer, std::size_t size) {
    if (size == UsualFirstRead && !spareBuffer) spareBuffer = std::move(buffer);
}

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

[[noreturn]] void failLineTooLong() {
    throw RunError(ErrorKind::Overflow, "the line is longer than 16 MiB, far longer than any task "
                                        "file's lines");
}

[[noreturn]] void failPastEnd() {
    throw RunError(ErrorKind::InputPastEndOfFile, "the file ends too early");
}

int openTaskFile(const std::string& path, Opening opening) {
    // Looked at before it is opened: opening a pipe for reading would let a program waiting to
    // write it go on, into a reader that closes at once.
    struct stat status {};
    if (opening == Opening::RegularFileOnly && ::stat(path.c_str(), &status) == 0 &&
        !S_ISREG(status.st_mode))
        return NotOpened;
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

} // namespace

LineReader::LineReader(const std::string& path, ReadSizes sizes, Opening opening,
                       const ReadTap* tap)
    : fd_(openTaskFile(path, opening)), sizes_(sizes), tap_(tap) {
    if (fd_ == NotOpened) return;
    if (fd_ < 0)
        throw RunError(ErrorKind::FileError, "cannot open the task file: " + systemReason(errno));
    buffer_ = bufferOf(sizes_.first);
    capacity_ = sizes_.first;
}

LineReader::~LineReader() {
    if (fd_ >= 0) ::close(fd_);
    keepSpare(std::move(buffer_), capacity_);
}

void LineReader::readMore() {
    // A read that filled the buffer promises a large file.
    if (end_ == capacity_ && capacity_ < sizes_.later) {
        keepSpare(std::move(buffer_), capacity_);
        buffer_ = bufferOf(sizes_.later);
        capacity_ = sizes_.later;
    }
    ssize_t got = 0;
    do {
        got = ::read(fd_, buffer_.get(), capacity_);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        throw RunError(ErrorKind::FileError, "cannot read the task file: " + systemReason(errno));
    pos_ = 0;
    end_ = static_cast<std::size_t>(got);
    ended_ = got == 0;
    std::memcpy(buffer_.get() + end_, AfterRead.data(), AfterRead.size());
    if (tap_) (*tap_)({buffer_.get(), end_});
}

bool LineReader::fillSlowly() {
    while (!ended_) {
        readMore();
        if (crEndedRead_ && pos_ < end_) {
            crEndedRead_ = false;
            if (buffer_[pos_] == LF) ++pos_;
        }
        if (pos_ < end_) return true;
    }
    return false;
}

bool LineReader::skipLine() {
    if (!fill()) failPastEnd();
    bool lineFeed = false;
    std::size_t length = 0;
    do {
        const char* from = buffer_.get() + pos_;
        const std::size_t left = end_ - pos_;
        const auto* cr = static_cast<const char*>(std::memchr(from, CR, left));
        const std::size_t size = cr ? static_cast<std::size_t>(cr - from) : left;
        // A header line that never ends (a link to /dev/zero) would keep the run reading forever.
        if (size > MaxLineLength - length) failLineTooLong();
        length += size;
        lineFeed = lineFeed || std::memchr(from, LF, size) != nullptr;
        pos_ += size;
        if (cr) {
            endLine();
            return lineFeed;
        }
    } while (fill());
    return lineFeed;
}

std::string_view LineReader::readLine() {
    if (!fill()) failPastEnd();
    const char* from = buffer_.get() + pos_;
    const auto* cr = static_cast<const char*>(std::memchr(from, CR, end_ - pos_));
    if (!cr) return gatherLine();
    const auto size = static_cast<std::size_t>(cr - from);
    if (size > MaxLineLength) failLineTooLong();
    pos_ += size;
    endLine();
    return {from, size};
}

// The line goes on past this read: its pieces are gathered, and the buffer read on.
std::string_view LineReader::gatherLine() {
    gathered_.clear();
    do {
        const char* from = buffer_.get() + pos_;
        const std::size_t left = end_ - pos_;
        const auto* cr = static_cast<const char*>(std::memchr(from, CR, left));
        const std::size_t size = cr ? static_cast<std::size_t>(cr - from) : left;
        if (size > MaxLineLength - gathered_.size()) failLineTooLong();
        gathered_.append(from, size);
        pos_ += size;
        if (cr) {
            endLine();
            break;
        }
    } while (fill());
    return gathered_;
}

} // namespace dozorira
