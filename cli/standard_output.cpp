#include "standard_output.h"

#include <cerrno>
#include <unistd.h>

namespace dozorira::cli {

int DescriptorBuffer::flushAll() {
    const char* from = pbase();
    while (error_ == 0 && from < pptr()) {
        const ssize_t written = ::write(fd_, from, static_cast<std::size_t>(pptr() - from));
        if (written < 0 && errno != EINTR) error_ = errno;
        if (written > 0) from += written;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
    if (flushAll() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

} // namespace dozorira::cli
