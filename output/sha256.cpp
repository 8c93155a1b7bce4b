#include "sha256.h"

#include "error.h"
#include "shared_library.h"

#include <array>
#include <cstdint>
#include <new>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <system_error>

namespace dozorira::output {
namespace {

// The functions of libcrypto that the hash calls.
struct Crypto {
    decltype(&OPENSSL_init_crypto) initialise = nullptr;
    decltype(&EVP_MD_fetch) fetch = nullptr;
    decltype(&EVP_MD_CTX_new) newContext = nullptr;
    decltype(&EVP_MD_CTX_free) freeContext = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) final = nullptr;
    // Fetched once: a digest named anew for every file would be looked up anew every time.
    EVP_MD* sha256 = nullptr;

    explicit Crypto(const SharedLibrary& library) {
        library.find("OPENSSL_init_crypto", initialise);
        library.find("EVP_MD_fetch", fetch);
        library.find("EVP_MD_CTX_new", newContext);
        library.find("EVP_MD_CTX_free", freeContext);
        library.find("EVP_DigestInit_ex", init);
        library.find("EVP_DigestUpdate", update);
        library.find("EVP_DigestFinal_ex", final);
        // Only SHA-256 is asked of the library, which starts in a millisecond when it is spared
        // what any other use of it would need first: the system's OpenSSL configuration, the
        // tables of every cipher and digest by their old names, and its error texts.
        constexpr std::uint64_t hashOnly =
            OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ADD_ALL_CIPHERS |
            OPENSSL_INIT_NO_ADD_ALL_DIGESTS | OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS;
        if (initialise(hashOnly, nullptr) != 1)
            throw RunError(ErrorKind::FileError, "libcrypto cannot be started, which the task "
                                                 "files' and the output's hashes need");
        sha256 = fetch(nullptr, "SHA256", nullptr);
        if (!sha256)
            throw RunError(ErrorKind::FileError, "libcrypto offers no SHA-256, which the task "
                                                 "files' and the output's hashes need");
    }
};

std::atomic<bool> cryptoLoaded{false};

const Crypto& crypto() {
    static const SharedLibrary library(DOZORIRA_CRYPTO_SONAME,
                                       "hashes the task files and the output (SHA-256)");
    static const Crypto functions(library);
    // For Sha256Loading, which must not wait on the statics above to learn that they are made.
    [[maybe_unused]] static const bool marked = (cryptoLoaded.store(true), true);
    return functions;
}

} // namespace

Sha256::Sha256() : context_(crypto().newContext()) {
    if (!context_ || crypto().init(context_, crypto().sha256, nullptr) != 1) {
        crypto().freeContext(context_);
        throw std::bad_alloc();
    }
}

void Sha256::restart() {
    if (crypto().init(context_, crypto().sha256, nullptr) != 1) throw std::bad_alloc();
}

Sha256::~Sha256() {
    crypto().freeContext(context_);
}

void Sha256::add(std::string_view bytes) {
    if (crypto().update(context_, bytes.data(), bytes.size()) != 1) throw std::bad_alloc();
}

std::string Sha256::finish() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    if (crypto().final(context_, digest.data(), &size) != 1) throw std::bad_alloc();
    constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

std::string sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.add(bytes);
    return hash.finish();
}

Sha256Loading::Sha256Loading() {
    if (cryptoLoaded.load(std::memory_order_acquire)) {
        state_ = State::Loaded;
        return;
    }
    const auto load = [this] {
        try {
            crypto();
        } catch (...) {
            state_.store(State::Failed, std::memory_order_release);
            throw;
        }
        state_.store(State::Loaded, std::memory_order_release);
    };
    try {
        loading_ = std::async(std::launch::async, load).share();
    } catch (const std::system_error&) { // no thread to be had: loaded here, as it is needed
        load();
    }
}

Sha256Loading::~Sha256Loading() {
    if (loading_.valid()) loading_.wait();
}

bool Sha256Loading::waitQuietly() const noexcept {
    if (loading_.valid()) std::shared_future<void>(loading_).wait();
    return loaded();
}

void Sha256Loading::wait() const {
    // Each caller waits on a copy of its own: threads may share the state, not the object.
    if (loading_.valid()) std::shared_future<void>(loading_).get();
}

} // namespace dozorira::output
