#include "line_reader.h"

#include "error.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace dozorira {
namespace {

// Task files are small; a file that fills the first buffer is read on in larger pieces, which
// makes skipping a huge header fast.
constexpr std::size_t FirstBufferSize = std::size_t{64} * 1024;
constexpr std::size_t LargeBufferSize = std::size_t{1024} * 1024;
constexpr char CR = '\r';
constexpr char LF = '\n';

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

} // namespace

LineReader::LineReader(const std::string& path)
    : file_(openFile(path.c_str(), "rb")),
      buffer_(std::make_unique_for_overwrite<char[]>(FirstBufferSize)), capacity_(FirstBufferSize) {
    if (!file_)
        throw RunError(ErrorKind::FileError, "cannot open the task file: " + systemReason(errno));
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

bool LineReader::fill() {
    if (pos_ < end_) return true;
    if (end_ == capacity_ && capacity_ < LargeBufferSize) {
        buffer_ = std::make_unique_for_overwrite<char[]>(LargeBufferSize);
        capacity_ = LargeBufferSize;
    }
    pos_ = 0;
    end_ = std::fread(buffer_.get(), 1, capacity_, file_.get());
    if (end_ == 0 && std::ferror(file_.get()))
        throw RunError(ErrorKind::FileError, "cannot read the task file: " + systemReason(errno));
    return end_ > 0;
}

bool LineReader::atEnd() {
    return !fill();
}

template <typename Take> void LineReader::consumeLine(Take take) {
    if (atEnd()) throw RunError(ErrorKind::InputPastEndOfFile, "the file ends too early");
    while (fill()) {
        const char* from = buffer_.get() + pos_;
        const auto* cr = static_cast<const char*>(std::memchr(from, CR, end_ - pos_));
        if (!cr) {
            take(from, end_ - pos_);
            pos_ = end_;
            continue;
        }
        take(from, static_cast<std::size_t>(cr - from));
        pos_ += static_cast<std::size_t>(cr - from) + 1;
        if (fill() && buffer_[pos_] == LF) ++pos_;
        return;
    }
}

bool LineReader::skipLine() {
    bool lineFeed = false;
    consumeLine([&lineFeed](const char* text, std::size_t size) {
        lineFeed = lineFeed || std::memchr(text, LF, size) != nullptr;
    });
    return lineFeed;
}

void LineReader::readLine(std::string& line) {
    line.clear();
    consumeLine([&line](const char* text, std::size_t size) {
        if (size > MaxLineLength - line.size())
            throw RunError(ErrorKind::Overflow, "the line is longer than 16 MiB, far longer than "
                                                "any task file's lines");
        line.append(text, size);
    });
}

} // namespace dozorira
