#pragma once

#include <cerrno>
#include <cstddef>
#include <utility>

namespace dozorira::files {

// A file descriptor that is closed however its owner ends.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor();
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The one place that retries a system call a signal interrupted: call() is repeated while it
// fails with EINTR, and its last result comes back.
template <typename Call> auto retryOnInterrupt(Call&& call) {
    auto result = call();
    while (result < 0 && errno == EINTR)
        result = call();
    return result;
}

// Writes all of data; false, with the reason in error, when a write fails. Safe in a signal
// handler and in code called back from C.
bool writeAll(int fd, const char* data, std::size_t size, int& error) noexcept;

} // namespace dozorira::files
