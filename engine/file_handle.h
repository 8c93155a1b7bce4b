#pragma once

#include <cstdio>
#include <memory>

namespace dozorira {

// A C stream that is closed however its owner ends. Whoever must know that the close succeeded
// (the last flush of a written file) releases it and closes it by hand.
using FileHandle = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

inline FileHandle openFile(const char* path, const char* mode) {
    return {std::fopen(path, mode), &std::fclose};
}

} // namespace dozorira
