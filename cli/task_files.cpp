#include "task_files.h"

#include "error.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace dozorira::cli {
namespace {

namespace fs = std::filesystem;

bool namesTaskFile(const std::string& name) {
    constexpr std::string_view extension = ".vty";
    if (name.size() < extension.size() || name.front() == '.') return false;
    return std::equal(
        extension.begin(), extension.end(), name.end() - extension.size(),
        [](char e, char c) { return e == (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
}

// Whatever cannot be told, or a link that leads nowhere, is kept: reading it says what is wrong.
bool mayHoldTrials(const fs::directory_entry& entry) {
    std::error_code ec;
    const fs::file_type type = entry.status(ec).type();
    return type != fs::file_type::directory && type != fs::file_type::fifo &&
           type != fs::file_type::socket && type != fs::file_type::block &&
           type != fs::file_type::character;
}

[[noreturn]] void failFolder(const std::string& folder, const std::error_code& ec) {
    throw RunError(ErrorKind::FileError, "cannot read the folder: " + ec.message()).inFile(folder);
}

std::vector<std::string> taskFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator entries(folder, ec);
    if (ec) failFolder(folder, ec);
    for (; entries != fs::directory_iterator(); entries.increment(ec)) {
        if (ec) failFolder(folder, ec);
        std::string name = entries->path().filename().string();
        if (namesTaskFile(name) && mayHoldTrials(*entries)) names.push_back(std::move(name));
    }
    if (ec) failFolder(folder, ec);
    if (names.empty())
        throw RunError(ErrorKind::FileError, "the folder holds no .vty task file").inFile(folder);
    std::sort(names.begin(), names.end()); // char_traits<char> compares bytes as unsigned
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const std::string& name : names)
        paths.push_back((fs::path(folder) / name).string());
    return paths;
}

} // namespace

std::vector<std::string> taskFilesOf(const std::vector<std::string>& arguments) {
    std::vector<std::string> files;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        if (!fs::is_directory(argument, ec)) {
            files.push_back(argument);
            continue;
        }
        const std::vector<std::string> inFolder = taskFilesIn(argument);
        files.insert(files.end(), inFolder.begin(), inFolder.end());
    }
    return files;
}

} // namespace dozorira::cli
