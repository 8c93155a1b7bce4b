#include "record_file.h"

#include "error.h"
#include "file_handle.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace dozorira::files {
namespace {

FileHandle open(const std::string& path, const char* mode) {
    if (path.empty()) throw RunError(ErrorKind::FileError, "no output file was given");
    FileHandle file = openFile(path.c_str(), mode);
    if (!file) failOutput(path, "cannot open", errno);
    return file;
}

// Closes the file, reporting a failure of the last flush too.
void close(const std::string& path, FileHandle& file) {
    if (std::fclose(file.release()) != 0) failOutput(path, "cannot write", errno);
}

} // namespace

void failOutput(const std::string& path, std::string_view what, int error) {
    throw RunError(ErrorKind::FileError, std::string(what) + " the output file: " +
                                             std::generic_category().message(error))
        .inFile(path);
}

void RecordFile::truncate() const {
    FileHandle file = open(path_, "wb");
    close(path_, file);
}

void RecordFile::append(std::string_view bytes) const {
    FileHandle file = open(path_, "ab");
    std::fseek(file.get(), 0, SEEK_END);
    const long before = std::ftell(file.get());
    int error = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0)
        error = errno;
    if (std::fclose(file.release()) != 0 && error == 0) error = errno;
    if (error == 0) return;
    if (before >= 0) {
        std::error_code ignored; // the file may not be one that can be cut, such as a device
        std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(before), ignored);
    }
    failOutput(path_, "cannot write", error);
}

} // namespace dozorira::files
