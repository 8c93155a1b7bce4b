// Feeds arbitrary file-open dialog answers through the splitting into the file list.
#include "error.h"
#include "file_list.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool holds) {
    if (!holds) std::abort();
}

// The pieces joined by NULs give back the answer without its one trailing NUL.
void checkSplitting(std::string_view selection) {
    const std::vector<std::string> pieces = dozorira::splitSelection(selection);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        require(pieces[i].find('\0') == std::string::npos);
        if (i > 0) joined += '\0';
        joined += pieces[i];
    }
    std::string_view expected = selection;
    if (expected.ends_with('\0')) expected.remove_suffix(1);
    require(joined == expected);
}

void checkFileList(std::string_view selection) {
    dozorira::TaskFileList list;
    try {
        list.select(selection);
    } catch (const dozorira::RunError& e) {
        require(e.kind() == dozorira::ErrorKind::SubscriptOutOfRange);
        require(list.fileCount() == 0);
        return;
    }
    const int count = list.fileCount();
    require(count >= 0 && count <= dozorira::FileListSlots);
    const std::size_t files = list.taskFiles().size();
    require(files == static_cast<std::size_t>(count <= 1 ? count : count - 1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view selection(reinterpret_cast<const char*>(data), size);
    checkSplitting(selection);
    checkFileList(selection);
    return 0;
}
