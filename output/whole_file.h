#pragma once

#include "file_handle.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace dozorira::output {

// An output file written whole or not at all. The bytes go to a temporary file beside the output,
// which replaces the output only once it is complete; until then, and after any failure, the
// earlier output stays as it was and the temporary file is removed. When the output is a
// symbolic link, the file it points to is replaced and the link stays. Failures are File errors
// that name the output.
class WholeFile {
public:
    explicit WholeFile(std::string outputPath);
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    const std::string& path() const { return outputPath_; }

    // Never throws, so that writers called back from C code can use it: the first failure is
    // kept, later writes are skipped, and throwIfFailed() or commit() report it.
    bool write(const void* data, std::size_t size) noexcept;
    bool write(std::string_view bytes) noexcept { return write(bytes.data(), bytes.size()); }
    void throwIfFailed() const;

    // For a library that writes files only by name: a path under which it may create or truncate
    // the file and write all of it, instead of calling write(). What it leaves there is what
    // commit() puts in the output's place.
    std::string pathForLibrary() const { return temporary_.string(); }

    // Completes the file and puts it in the output's place.
    void commit();

private:
    [[noreturn]] void fail(std::string_view what, int error) const;

    std::string outputPath_;
    std::filesystem::path target_; // the output, or the file its symbolic links lead to
    std::filesystem::path temporary_;
    FileHandle file_;
    int writeError_ = 0;
    bool committed_ = false;
};

} // namespace dozorira::output
