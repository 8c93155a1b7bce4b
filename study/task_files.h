#pragma once

#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace dozorira::study {

// What one look at a task file found, a moment before the run reads it.
struct FileLook {
    bool found = false; // where the look failed, reading the file says why
    mode_t type = 0;    // S_IFREG, S_IFDIR, ... of the file at the end of its links
    dev_t device = 0;
    ino_t inode = 0;

    bool regular() const { return found && S_ISREG(type); }
    bool folder() const { return found && S_ISDIR(type); }
};

// A run's task files in their order, each with the one look taken at it: the run learns from it
// whether a file is the output, and reads a regular file without looking again.
struct TaskFiles {
    std::vector<std::string> paths;
    std::vector<FileLook> looks;
    // The folder argument that named each task file; empty for a file named by itself.
    std::vector<std::string> folders;
};

// The task files that the command's arguments name, in their order. A folder stands for the
// task files in it (not in its subfolders): every entry whose name ends in .vty, in any case,
// and does not begin with a dot, as the shell's *.vty leaves hidden files out, in the byte order
// of the names. Entries that cannot hold a participant's trials (folders, pipes, sockets,
// devices) are passed over; a broken link is kept, so that its error names it rather than a
// participant going missing. A folder with no task file, or one that cannot be read, is a File
// error.
TaskFiles taskFilesOf(const std::vector<std::string>& arguments);

// A task file given twice, by the same path or another (a link, a folder and a name): where it
// comes again, and where it came first.
struct Repeat {
    std::size_t again;
    std::size_t first;
};
// The first task file that is the same file as an earlier one, by the looks taken at them.
std::optional<Repeat> firstRepeat(const TaskFiles& files);

} // namespace dozorira::study
