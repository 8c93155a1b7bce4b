#include "whole_file.h"

#include "error.h"
#include "record_file.h"

#include <cerrno>
#include <random>
#include <system_error>

namespace dozorira::output {
namespace {

namespace fs = std::filesystem;

// Links are followed by hand rather than by canonical(), because the file at the end of them
// need not exist yet. Too many links (a loop) are left for the file system to refuse.
fs::path followLinks(fs::path path) {
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(path, ec); ++hops) {
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

std::string randomSuffix() {
    std::random_device random;
    constexpr char hex[] = "0123456789abcdef";
    std::string suffix;
    for (int i = 0; i < 12; ++i)
        suffix += hex[random() % 16];
    return suffix;
}

} // namespace

WholeFile::WholeFile(std::string outputPath)
    : outputPath_(std::move(outputPath)), file_(nullptr, &std::fclose) {
    if (outputPath_.empty()) throw RunError(ErrorKind::FileError, "no output file was given");
    target_ = followLinks(outputPath_);
    std::error_code ec;
    // A rename would replace a device or a folder itself rather than write into it.
    if (fs::exists(target_, ec) && !fs::is_regular_file(target_, ec))
        throw RunError(ErrorKind::FileError,
                       "the output is not a regular file (a folder or a device); choose another "
                       "output file")
            .inFile(outputPath_);
    // "x" creates the file exclusively, with the permissions any new file gets.
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        temporary_ = target_.parent_path() / (".dozorira-" + randomSuffix() + ".tmp");
        file_ = openFile(temporary_.c_str(), "wbx");
        if (!file_ && errno != EEXIST) break;
    }
    if (!file_) fail("cannot create a temporary file beside", errno);
}

WholeFile::~WholeFile() {
    if (committed_) return;
    file_.reset();
    std::error_code ignored;
    fs::remove(temporary_, ignored);
}

bool WholeFile::write(const void* data, std::size_t size) noexcept {
    if (writeError_ != 0) return false;
    if (std::fwrite(data, 1, size, file_.get()) == size) return true;
    writeError_ = errno != 0 ? errno : EIO;
    return false;
}

void WholeFile::throwIfFailed() const {
    if (writeError_ != 0) fail("cannot write", writeError_);
}

void WholeFile::commit() {
    throwIfFailed();
    if (std::fclose(file_.release()) != 0) fail("cannot write", errno);
    std::error_code ec;
    fs::rename(temporary_, target_, ec);
    if (ec) fail("cannot replace", ec.value());
    committed_ = true;
}

void WholeFile::fail(std::string_view what, int error) const {
    failOutput(outputPath_, what, error);
}

} // namespace dozorira::output
