#pragma once

#include <string>
#include <vector>

namespace dozorira::cli {

// The task files that the command's arguments name, in their order. A folder stands for the
// task files in it (not in its subfolders): every entry whose name ends in .vty, in any case,
// and does not begin with a dot, as the shell's *.vty leaves hidden files out, in the byte order
// of the names. Entries that cannot hold a participant's trials (folders, pipes, sockets,
// devices) are passed over; a broken link is kept, so that its error names it rather than a
// participant going missing. A folder with no task file, or one that cannot be read, is a File
// error.
std::vector<std::string> taskFilesOf(const std::vector<std::string>& arguments);

} // namespace dozorira::cli
