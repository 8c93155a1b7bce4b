#pragma once

#include <array>
#include <streambuf>

namespace dozorira::cli {

// A stream buffer that writes to a file descriptor and remembers why a write failed, so that a
// report lost on a full disk is an error, as it is for GNU tools. A closed pipe ends the program
// by its signal, as it ends them.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd) : fd_(fd) {
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }

    // 0 when everything written so far reached the descriptor, the reason otherwise.
    int flushAll();

protected:
    int_type overflow(int_type c) override;
    int sync() override { return flushAll() == 0 ? 0 : -1; }

private:
    int fd_;
    int error_ = 0;
    std::array<char, 8192> buffer_{};
};

} // namespace dozorira::cli
