#include "file_list.h"

#include "error.h"

namespace dozorira {

std::vector<std::string> splitSelection(std::string_view selection) {
    std::vector<std::string> pieces;
    while (!selection.empty()) {
        const std::size_t nul = selection.find('\0');
        pieces.emplace_back(selection.substr(0, nul));
        selection = nul == std::string_view::npos ? std::string_view() : selection.substr(nul + 1);
    }
    return pieces;
}

void TaskFileList::select(std::string_view selection) {
    std::vector<std::string> pieces = splitSelection(selection);
    if (pieces.size() > FileListSlots)
        throw RunError(ErrorKind::SubscriptOutOfRange,
                       std::to_string(pieces.size() - 1) + " files were chosen; at most " +
                           std::to_string(FileListSlots - 1) +
                           " files of one folder can be chosen at once");
    for (std::size_t i = 0; i < pieces.size(); ++i)
        FileList[i + 1] = std::move(pieces[i]);
    FileCount = static_cast<std::int16_t>(pieces.size());
}

std::vector<std::string> TaskFileList::taskFiles() const {
    if (FileCount == 1) return {FileList[1]};
    std::vector<std::string> paths;
    for (int i = 2; i <= FileCount; ++i)
        paths.push_back(FileList[1] + "/" + FileList[static_cast<std::size_t>(i)]);
    return paths;
}

} // namespace dozorira
