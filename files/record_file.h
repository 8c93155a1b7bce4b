#pragma once

#include <string>
#include <string_view>

namespace dozorira::files {

// A File error that names the output: "WHAT the output file: REASON", the reason taken from the
// system's error number.
[[noreturn]] void failOutput(const std::string& path, std::string_view what, int error);

// An output file written record by record, opened for each record and closed after it, as the
// window writes its .dat. Every failure to open, write, flush or close it is a File error.
class RecordFile {
public:
    explicit RecordFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // Creates the file, or cuts an existing one to nothing.
    void truncate() const;
    // Appends bytes whole or not at all: after a failed write the file is cut back to its
    // earlier length, so it never ends in half a record.
    void append(std::string_view bytes) const;

private:
    std::string path_;
};

} // namespace dozorira::files
