#pragma once

#include "scratch_file.h"
#include "target.h"
#include "temporary_file.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dozorira::files {

// How an existing output takes the new file.
enum class Writing {
    // The new file is renamed over the output, whole, in one step: a reader sees the earlier
    // output or the new one, never a mix. An output whose folder may not be written, or that is a
    // mount point, is refused.
    Replace,
    // The new file, complete first, is copied into the output itself, for an output that cannot
    // be replaced: a mount point (a file bind-mounted into a container) or a file in a folder the
    // user may not write. Space for all of it is reserved before the output changes, and every
    // signal that can be held is held while it is copied; a kill -9 or a power cut during the
    // copy can still leave a mix.
    InPlace,
};

// An output file written whole or not at all. The bytes go to a new file that no one else sees
// (see TemporaryFile), which takes the output's place only once it is complete and on disk;
// until then, and after any failure before it, the earlier output stays byte for byte as it was.
// A replaced output keeps its mode, owner and group (where the user may give them), its
// access-control list and extended attributes, and the symbolic links that lead to it; its
// other hard links keep the earlier study. Standard output, a device or a pipe is written
// straight into. Failures are File errors that name the output; one that comes once the output
// holds the new study is marked afterOutputChanged().
//
// Two phases, so that a run with several outputs can change none of them when any fails:
// prepare() does everything that can fail before the output changes, commit() puts the file in
// the output's place. Use commitAll() for several outputs.
class WholeFile {
public:
    explicit WholeFile(OutputTarget target, Writing writing = Writing::Replace);
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    const std::string& path() const { return target_.name; }

    // Never throws, so that writers called back from C code can use it: the first failure is
    // kept, later writes are skipped, and throwIfFailed(), prepare() or commit() report it.
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

    // Flushes the new file to disk, gives it the output's permissions and, for InPlace, reserves
    // its space in the output. The output is still untouched.
    void prepare();
    // Puts the complete file in the output's place, preparing it first if that was not done.
    void commit();

    // Lines for the user about what the replaced output did not keep (its other hard links, an
    // owner the user may not give), each starting with the output's name.
    const std::vector<std::string>& notes() const { return notes_; }

private:
    void createBeside();
    void createElsewhere();
    void refuseUnreplaceable() const;
    bool flush() noexcept;
    void prepareFile();
    void reserveInPlace();
    void putInPlace();
    void copyInPlace();
    void copyTo(int fd);
    void readBlocks(std::string_view failing, const std::function<void(std::string_view)>& take);
    [[noreturn]] void fail(std::string_view what, int error) const;
    [[noreturn]] void failAfterChange(const std::string& problem) const;

    OutputTarget target_;
    Writing writing_;
    std::unique_ptr<TemporaryFile> beside_;
    std::unique_ptr<ScratchFile> elsewhere_; // in the temporary folder, where it is made there
    TemporaryFile* file_ = nullptr;          // the one of the two that is the new file
    bool libraryWrote_ = false;
    bool prepared_ = false;
    std::string buffer_;
    int writeError_ = 0;
    std::vector<std::string> notes_;
};

} // namespace dozorira::files
