#pragma once

#include "file_handle.h"

#include <memory>
#include <string>

namespace dozorira {

// Reads a task file line by line. A line ends at CR or CR LF; a lone LF is part of the text.
// Reading is buffered and streaming, so a huge header costs time but no memory.
class LineReader {
public:
    // Real data lines are well under a kilobyte; this bound keeps a damaged file from taking
    // all memory before it is refused.
    static constexpr std::size_t MaxLineLength = std::size_t{16} * 1024 * 1024;

    explicit LineReader(const std::string& path); // File error when it cannot be opened

    bool atEnd();
    // Both fail with Input past end of file when nothing is left to read. skipLine tells whether
    // the skipped line held a line feed.
    bool skipLine();
    // Fails with Overflow, having read no further, once the line passes MaxLineLength.
    void readLine(std::string& line);

private:
    bool fill();
    // Consumes up to the next CR (or the end), handing each piece of the line to take.
    template <typename Take> void consumeLine(Take take);

    FileHandle file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

} // namespace dozorira
