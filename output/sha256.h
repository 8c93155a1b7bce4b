#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace dozorira::output {

// A SHA-256 taken in piece by piece, through OpenSSL's libcrypto. The library is loaded by the
// first run that needs a hash, so that every other run starts without it.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(std::string_view bytes);
    // The hash of everything added, in 64 lowercase hexadecimal digits; the hash is then done.
    std::string finish();
    // Starts a new hash in the same context, which is far cheaper than a new one.
    void restart();

private:
    evp_md_ctx_st* context_;
};

// The hash of bytes, in 64 lowercase hexadecimal digits.
std::string sha256Of(std::string_view bytes);

} // namespace dozorira::output
