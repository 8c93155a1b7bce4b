// Loaded with LD_PRELOAD, makes the system look like a file system that cannot make unnamed
// files (NFS, FUSE, vfat): every open with O_TMPFILE fails with EOPNOTSUPP.
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

using OpenAt = int (*)(int, const char*, int, ...);
using Open = int (*)(const char*, int, ...);

bool refused(int flags) {
    if ((flags & O_TMPFILE) != O_TMPFILE) return false;
    errno = EOPNOTSUPP;
    return true;
}

int forward(const char* name, int folder, const char* path, int flags, mode_t mode) {
    static const auto real = reinterpret_cast<OpenAt>(::dlsym(RTLD_NEXT, name));
    return real(folder, path, flags, mode);
}

int forwardOpen(const char* name, const char* path, int flags, mode_t mode) {
    static const auto real = reinterpret_cast<Open>(::dlsym(RTLD_NEXT, name));
    return real(path, flags, mode);
}

} // namespace

extern "C" int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const auto mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
    return refused(flags) ? -1 : forwardOpen("open", path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const auto mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
    return refused(flags) ? -1 : forwardOpen("open64", path, flags, mode);
}

extern "C" int openat(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const auto mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
    return refused(flags) ? -1 : forward("openat", folder, path, flags, mode);
}

extern "C" int openat64(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const auto mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
    return refused(flags) ? -1 : forward("openat64", folder, path, flags, mode);
}
