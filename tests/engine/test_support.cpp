#include "test_support.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace dozorira::test {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    root_ = std::filesystem::temp_directory_path() /
            ("dozorira-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
}

std::string TempDir::path(std::string_view name) const {
    return (root_ / name).string();
}

std::string TempDir::write(std::string_view name, std::string_view content) const {
    const std::string file = path(name);
    std::ofstream(file, std::ios::binary).write(content.data(), static_cast<long>(content.size()));
    return file;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string dataLine(std::string_view row, std::string_view boxes, std::string_view found,
                     std::string_view open, std::string_view opened, std::string_view revisits) {
    std::string line;
    for (std::string_view field :
         {row, std::string_view("cl"), boxes, std::string_view("1"), found, std::string_view("x"),
          open, opened, std::string_view("y"), revisits}) {
        line += field;
        line += '\t';
    }
    line.pop_back();
    return line;
}

std::string taskFile(std::initializer_list<std::string> lines) {
    std::string file =
        "Vantry\tsession\r\nrow\tlabel\tboxes\tcode\tfound\t-\topen\topened\t-\trevisits\r\n";
    for (const std::string& line : lines)
        file += line + "\r\n";
    return file;
}

std::string workedTaskFile() {
    return taskFile({dataLine("0", "6", "A", "4", "", ""), dataLine("1", "6", "B", "5", "CA", "3"),
                     dataLine("2", "6", "C", "5", "DBA", "")});
}

} // namespace dozorira::test
