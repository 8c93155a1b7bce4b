#pragma once

#include "target.h"

#include <functional>
#include <string>
#include <string_view>

namespace dozorira::files {

// An output file written whole or not at all. The bytes go to a new file that no one else sees,
// which takes the output's place only once it is complete and on disk; until then, and after
// any failure, the earlier output stays byte for byte as it was, and no file is left behind,
// whatever ends the program. The new file keeps what the output was: its mode, owner and group,
// its hard links and the symbolic links that lead to it. Where a rename cannot keep them, the
// finished bytes are copied into the output itself, once space for them is reserved. Standard
// output, a device or a pipe is written straight into. Failures are File errors that name the
// output.
class WholeFile {
public:
    explicit WholeFile(OutputTarget target);
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    const std::string& path() const { return target_.name; }

    // Never throws, so that writers called back from C code can use it: the first failure is
    // kept, later writes are skipped, and throwIfFailed() or commit() report it.
    bool write(const void* data, std::size_t size) noexcept;
    bool write(std::string_view bytes) noexcept { return write(bytes.data(), bytes.size()); }
    void throwIfFailed() const;

    // For a library that writes files only by name: a path under which it may create or truncate
    // the file and write all of it, instead of calling write(). What it leaves there is what
    // commit() puts in the output's place.
    std::string pathForLibrary();

    // Gives take the new file's bytes from its start, once all are written and before commit()
    // puts them in the output's place, so that what a run records of its output is what the
    // output will hold. A file error for standard output, a device or a pipe, which are written
    // straight into and cannot be read back.
    void readBack(const std::function<void(std::string_view)>& take);

    // Puts the complete file in the output's place.
    void commit();

private:
    enum class Replace { ByRename, ByCopy };

    void createBeside();
    void createElsewhere();
    void keepOwnerAndMode();
    bool flush() noexcept;
    void linkInPlace();
    void copyInPlace();
    void copyTo(int fd);
    [[noreturn]] void fail(std::string_view what, int error) const;

    OutputTarget target_;
    Replace replace_ = Replace::ByRename;
    Descriptor file_;   // the new file, unnamed until it takes the output's place
    std::string named_; // its name, where the file system cannot make unnamed files
    bool libraryWrote_ = false;
    std::string buffer_;
    int writeError_ = 0;
};

} // namespace dozorira::files
