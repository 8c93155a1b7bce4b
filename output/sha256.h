#pragma once

#include <atomic>
#include <future>
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

// Loads libcrypto on a thread of its own, unless an earlier run loaded it: loading takes some
// milliseconds (the dynamic loader's, mostly), which a run can spend opening its files. Being
// destroyed, it waits for the loading to end.
class Sha256Loading {
public:
    Sha256Loading();
    ~Sha256Loading();
    Sha256Loading(const Sha256Loading&) = delete;
    Sha256Loading& operator=(const Sha256Loading&) = delete;

    // Whether a Sha256 can be made now without waiting; once true, it stays true. Any thread may
    // ask.
    bool loaded() const { return state_.load(std::memory_order_acquire) == State::Loaded; }
    // Waits for the loading to end, on any thread; whether the library could be loaded.
    bool waitQuietly() const noexcept;
    // Waits for the loading to end; a File error naming the library when it could not be loaded.
    void wait() const;

private:
    enum class State { Loading, Loaded, Failed };
    std::atomic<State> state_{State::Loading};
    std::shared_future<void> loading_;
};

} // namespace dozorira::output
