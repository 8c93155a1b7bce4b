// The task file a fuzz target hands the engine, which reads task files by path.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace dozorira::fuzz {

inline void require(bool holds) {
    if (!holds) std::abort();
}

void removeScratch();

// A file in memory-backed /dev/shm where it can be, which keeps writing every input cheap. The
// path is never destroyed, so that the clean-up at exit can still use it.
inline const std::string& scratchFile() {
    static const auto* path = new std::string([] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        const std::string dir = std::string(base) + "/dozorira-fuzz-" + std::to_string(getpid());
        require(mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST);
        std::atexit(removeScratch);
        return dir + "/pp.vty";
    }());
    return *path;
}

inline void removeScratch() {
    std::remove(scratchFile().c_str());
    rmdir(scratchFile().substr(0, scratchFile().rfind('/')).c_str());
}

inline void writeScratch(std::string_view bytes) {
    std::FILE* file = std::fopen(scratchFile().c_str(), "wb");
    require(file != nullptr);
    require(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    require(std::fclose(file) == 0);
}

} // namespace dozorira::fuzz
