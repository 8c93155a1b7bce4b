#include "batch.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const auto environment = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    return dozorira::cli::runBatch(std::vector<std::string>(argv, argv + argc), std::cout,
                                   std::cerr, environment);
}
