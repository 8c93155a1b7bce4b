#include "study.h"

#include <fstream>

namespace dozorira::bench {

std::string taskFile(int dataLines) {
    std::string file = "Vantry\tbench\r\nrow\tlabel\tboxes\tcode\tfound\ttime\topen\topened\t"
                       "latency\trevisits\r\n";
    for (int line = 0; line < dataLines; ++line) {
        const int row = line % 20;
        const std::string found(1, static_cast<char>('A' + (line * 7) % 12));
        std::string opened;
        for (int k = 0; k <= row % 9; ++k)
            opened += static_cast<char>('A' + (line + k) % 12);
        file += std::to_string(row) + "\tcluster\t12\t3\t" + found + "\t1520\t" +
                std::to_string(opened.size()) + "\t" + opened + "\t830\t" +
                (row % 3 == 0 ? "" : "3 7") + "\r\n";
    }
    return file;
}

Study::Study(std::filesystem::path folder, int count, int dataLines) : dir(std::move(folder)) {
    std::filesystem::create_directories(dir);
    const std::string content = taskFile(dataLines);
    for (int i = 1; i <= count; ++i) {
        const std::filesystem::path path = dir / ("pp" + std::to_string(i) + ".vty");
        std::ofstream(path, std::ios::binary) << content;
        files.push_back(path.string());
    }
}

} // namespace dozorira::bench
