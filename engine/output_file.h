#pragma once

#include <string>
#include <string_view>

namespace dozorira {

// A File error that names the output: "WHAT the output file: REASON", the reason taken from the
// system's error number.
[[noreturn]] void failOutput(const std::string& path, std::string_view what, int error);

// The output file of a run. Every failure to open, write, flush or close it is a File error.
class OutputFile {
public:
    explicit OutputFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // Creates the file, or empties an existing one.
    void empty() const;
    // Appends bytes whole or not at all: after a failed write the file is cut back to its
    // earlier length, so it never ends in half a record.
    void append(std::string_view bytes) const;

private:
    std::string path_;
};

} // namespace dozorira
