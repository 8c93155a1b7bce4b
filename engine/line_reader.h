#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace dozorira {

// How much a LineReader asks of the file at once.
struct ReadSizes {
    // Any real task file fits in the first read, so most files take one read and one more that
    // finds the end.
    std::size_t first = std::size_t{64} * 1024;
    // A file that fills the first read is read on in larger pieces, which makes skipping a huge
    // header fast.
    std::size_t later = std::size_t{1024} * 1024;
};

// Which files a LineReader opens. A reader on a thread of its own, reading ahead of a run, must
// not open a pipe or a device: opening one can wait for another program, or take what it writes,
// for a file that the run may never come to.
enum class Opening { AnyFile, RegularFileOnly };

// Sees every piece of a task file as it is read, in order, and an empty piece at its end, so that
// a caller can take in the file's bytes (to hash them) without reading the file a second time.
using ReadTap = std::function<void(std::string_view piece)>;

// Reads a task file line by line. A line ends at CR or CR LF; a lone LF is part of the text.
// Reading is buffered and streaming, so a huge header costs time but no memory. The buffer of
// the first read is kept for the next file the thread reads.
class LineReader {
public:
    // Real data lines are well under a kilobyte; this bound keeps a damaged file from taking
    // all memory before it is refused.
    static constexpr std::size_t MaxLineLength = std::size_t{16} * 1024 * 1024;

    // File error when it cannot be opened. A file that opening does not take is left closed.
    explicit LineReader(const std::string& path, ReadSizes sizes = {},
                        Opening opening = Opening::AnyFile, const ReadTap* tap = nullptr);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isOpen() const { return fd_ >= 0; }

    bool atEnd() { return !fill(); }
    // Both fail with Input past end of file when nothing is left to read, and with Overflow once
    // the line passes MaxLineLength. skipLine tells whether the skipped line held a line feed.
    bool skipLine();
    // The next line without its end, valid until the next call of any of these. Fails with
    // Overflow, having read no further, once the line passes MaxLineLength.
    std::string_view readLine();

    // A caller may look for the next line itself, in the bytes read and not yet taken; a CR
    // follows them, then ReadAhead more bytes that may be read. Valid once atEnd() said false,
    // until the next call of any of the above.
    static constexpr std::size_t ReadAhead = 64;
    std::string_view unread() const { return {buffer_.get() + pos_, end_ - pos_}; }
    // Takes the first bytes of unread(), which end where a line ends.
    void take(std::size_t bytes) { pos_ += bytes; }
    // Takes the line of size bytes that starts unread(), with the CR (or CR LF) that ends it.
    void takeLine(std::size_t size) {
        pos_ += size;
        endLine();
    }

private:
    // Whether a byte is ready at pos_, reading more when none is.
    bool fill() { return pos_ < end_ || fillSlowly(); }
    bool fillSlowly();
    void readMore();
    // Steps over the CR at pos_, and the LF after it; where the CR is the last byte read, the LF
    // is looked for in the next read.
    void endLine() {
        ++pos_;
        if (pos_ == end_)
            crEndedRead_ = true;
        else if (buffer_[pos_] == '\n')
            ++pos_;
    }
    std::string_view gatherLine();

    int fd_;
    ReadSizes sizes_;
    const ReadTap* tap_;
    std::unique_ptr<char[]> buffer_; // capacity_ bytes, then room for what follows a read
    std::size_t capacity_ = 0;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;       // a read found the end of the file
    bool crEndedRead_ = false; // the last line's CR was the last byte read
    std::string gathered_;     // a line that goes on past one read
};

} // namespace dozorira
