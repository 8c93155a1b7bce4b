#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dozorira {

inline constexpr int FileListSlots = 200;

// The pieces of a file-open dialog's answer: one full path, or a folder followed by file names,
// separated by NUL characters. One trailing NUL adds nothing; two NULs in a row give an empty
// piece.
std::vector<std::string> splitSelection(std::string_view selection);

// The chosen task files. Slot 1 holds the only file's full path, or the folder of several files
// whose names follow in slots 2 onward.
class TaskFileList {
public:
    // Replaces the list with a selection. More pieces than slots fail with Subscript out of range
    // and leave the list as it was.
    void select(std::string_view selection);

    std::int16_t fileCount() const { return FileCount; }
    const std::string& slot(int index) const {
        return FileList.at(static_cast<std::size_t>(index));
    }

    // The full paths in run order: folder + "/" + name for a selection of several files.
    std::vector<std::string> taskFiles() const;

private:
    std::array<std::string, FileListSlots + 1> FileList; // slot 0 is never used
    std::int16_t FileCount = 0;
};

} // namespace dozorira
