#include "threads.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace dozorira::study {
namespace {

constexpr std::size_t FilesPerThread = 32;
constexpr std::size_t MostThreads = 4;

} // namespace

unsigned threadsFor(std::size_t files) {
    const std::size_t wanted = std::min(MostThreads, files / FilesPerThread);
    // Asking for the cores reads a file of the system, which a small run need not pay for.
    if (wanted <= 1) return 1;
    return static_cast<unsigned>(
        std::min<std::size_t>(wanted, std::max(1U, std::thread::hardware_concurrency())));
}

void onThreads(unsigned threads, const std::function<void()>& work) {
    std::vector<std::jthread> helpers;
    try {
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had.
    }
    work();
}

} // namespace dozorira::study
