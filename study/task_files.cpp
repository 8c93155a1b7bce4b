#include "task_files.h"

#include "error.h"
#include "threads.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <system_error>
#include <tuple>

namespace dozorira::study {
namespace {

namespace fs = std::filesystem;

// One stat() per file, on as many threads as a run of them is read on.
std::vector<FileLook> lookAt(const std::vector<std::string>& paths) {
    std::vector<FileLook> looks(paths.size());
    std::atomic<std::size_t> next{0};
    onThreads(threadsFor(paths.size()), [&] {
        struct stat file {};
        for (std::size_t i = next++; i < paths.size(); i = next++)
            if (::stat(paths[i].c_str(), &file) == 0)
                looks[i] = {true, file.st_mode & S_IFMT, file.st_dev, file.st_ino};
    });
    return looks;
}

bool namesTaskFile(const std::string& name) {
    constexpr std::string_view extension = ".vty";
    if (name.size() < extension.size() || name.front() == '.') return false;
    return std::equal(
        extension.begin(), extension.end(), name.end() - extension.size(),
        [](char e, char c) { return e == (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
}

// Whatever cannot be told, or a link that leads nowhere, is kept: reading it says what is wrong.
bool mayHoldTrials(const FileLook& look) {
    return !look.found || look.regular();
}

[[noreturn]] void failFolder(const std::string& folder, const std::error_code& ec) {
    throw RunError(ErrorKind::FileError, "cannot read the folder: " + ec.message()).inFile(folder);
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator entries(folder, ec);
    if (ec) failFolder(folder, ec);
    for (; entries != fs::directory_iterator(); entries.increment(ec)) {
        if (ec) failFolder(folder, ec);
        std::string name = entries->path().filename().string();
        if (namesTaskFile(name)) names.push_back(std::move(name));
    }
    if (ec) failFolder(folder, ec);
    std::sort(names.begin(), names.end()); // char_traits<char> compares bytes as unsigned
    return names;
}

void addTaskFilesIn(const std::string& folder, TaskFiles& files) {
    std::vector<std::string> paths;
    for (const std::string& name : namesIn(folder))
        paths.push_back((fs::path(folder) / name).string());
    const std::vector<FileLook> looks = lookAt(paths);
    const std::size_t before = files.paths.size();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!mayHoldTrials(looks[i])) continue;
        files.paths.push_back(std::move(paths[i]));
        files.looks.push_back(looks[i]);
        files.folders.push_back(folder);
    }
    if (files.paths.size() == before)
        throw RunError(ErrorKind::FileError, "the folder holds no .vty task file").inFile(folder);
}

} // namespace

TaskFiles taskFilesOf(const std::vector<std::string>& arguments) {
    const std::vector<FileLook> looks = lookAt(arguments);
    TaskFiles files;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (looks[i].folder()) {
            addTaskFilesIn(arguments[i], files);
            continue;
        }
        files.paths.push_back(arguments[i]);
        files.looks.push_back(looks[i]);
        files.folders.emplace_back();
    }
    return files;
}

std::optional<Repeat> firstRepeat(const TaskFiles& files) {
    // The files found, sorted by what they are, and those that are the same file in their order:
    // one block of memory for thousands of files, instead of one for each.
    struct Seen {
        dev_t device;
        ino_t inode;
        std::size_t index;
    };
    std::vector<Seen> seen;
    seen.reserve(files.looks.size());
    for (std::size_t i = 0; i < files.looks.size(); ++i)
        if (files.looks[i].found) seen.push_back({files.looks[i].device, files.looks[i].inode, i});
    std::sort(seen.begin(), seen.end(), [](const Seen& a, const Seen& b) {
        return std::tie(a.device, a.inode, a.index) < std::tie(b.device, b.inode, b.index);
    });
    std::optional<Repeat> first;
    std::size_t sameFrom = 0; // the first of the files that are the same file as seen[k]
    for (std::size_t k = 1; k < seen.size(); ++k) {
        if (seen[k].device != seen[k - 1].device || seen[k].inode != seen[k - 1].inode)
            sameFrom = k;
        else if (!first || seen[k].index < first->again)
            first = Repeat{seen[k].index, seen[sameFrom].index};
    }
    return first;
}

} // namespace dozorira::study
