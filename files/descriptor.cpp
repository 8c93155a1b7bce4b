#include "descriptor.h"

#include <unistd.h>

namespace dozorira::files {

Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

bool writeAll(int fd, const char* data, std::size_t size, int& error) noexcept {
    while (size > 0) {
        const ssize_t written = retryOnInterrupt([&] { return ::write(fd, data, size); });
        if (written < 0) {
            error = errno;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace dozorira::files
