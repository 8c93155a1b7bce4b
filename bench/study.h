#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace dozorira::bench {

// A task file of twelve clusters of 20 trials and one of 15 (255 data lines), with found boxes,
// opened boxes and revisits; with dataLines given, only that many of its lines.
std::string taskFile(int dataLines = 255);

// COUNT copies of one task file named pp1.vty, pp2.vty, ... in a folder, which is made if need be.
struct Study {
    std::filesystem::path dir;
    std::vector<std::string> files;

    explicit Study(std::filesystem::path folder, int count = 199, int dataLines = 255);
};

} // namespace dozorira::bench
