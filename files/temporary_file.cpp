#include "temporary_file.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dozorira::files {
namespace {

constexpr std::string_view Prefix = ".dozorira-";
constexpr std::string_view Suffix = ".tmp";
constexpr std::size_t HexDigits = 12;
constexpr int Attempts = 100;

// The signals whose default action ends the program and that a handler can catch, but not those
// of a fault in the program itself. A named temporary file is removed when one of them ends the
// run.
constexpr std::array<int, 14> EndingSignals = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGPIPE, SIGALRM, SIGUSR1,
    SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGABRT,
};

// Where a signal handler finds the named temporary files that exist: a folder descriptor and a
// name in it, set before the folder is published and cleared before the name is reused.
struct Slot {
    std::atomic<int> folder{-1};
    std::array<char, 64> name{};
};
std::array<Slot, 8> slots;

extern "C" void removeNamedAndEnd(int signal) {
    const int savedErrno = errno;
    for (const Slot& slot : slots)
        if (const int folder = slot.folder.load(); folder >= 0)
            ::unlinkat(folder, slot.name.data(), 0);
    // Ended as the signal would have ended it: by its default action, once this handler returns
    // and the signal, raised again, is no longer held.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigaction(signal, &standard, nullptr);
    ::raise(signal);
    errno = savedErrno;
}

// The ending signals are taken over while a named file exists, and only those left at their
// default: an ignored signal (nohup's SIGHUP) stays ignored, and a handler of the program's
// own stays in charge. The earlier actions come back when the last file is gone.
class SignalWatch {
public:
    void arm() {
        const std::scoped_lock lock(mutex_);
        if (files_++ > 0) return;
        struct sigaction ours {};
        ours.sa_handler = removeNamedAndEnd;
        sigemptyset(&ours.sa_mask);
        for (const int signal : EndingSignals)
            sigaddset(&ours.sa_mask, signal);
        for (std::size_t i = 0; i < EndingSignals.size(); ++i) {
            taken_[i] = ::sigaction(EndingSignals[i], nullptr, &saved_[i]) == 0 &&
                        (saved_[i].sa_flags & SA_SIGINFO) == 0 && saved_[i].sa_handler == SIG_DFL &&
                        ::sigaction(EndingSignals[i], &ours, nullptr) == 0;
        }
    }
    void disarm() {
        const std::scoped_lock lock(mutex_);
        if (--files_ > 0) return;
        for (std::size_t i = 0; i < EndingSignals.size(); ++i)
            if (taken_[i]) ::sigaction(EndingSignals[i], &saved_[i], nullptr);
    }

private:
    std::mutex mutex_;
    int files_ = 0;
    std::array<struct sigaction, EndingSignals.size()> saved_{};
    std::array<bool, EndingSignals.size()> taken_{};
};

SignalWatch& signalWatch() {
    static SignalWatch watch;
    return watch;
}

int takeSlot(int folder, const std::string& name) {
    static std::mutex mutex;
    const std::scoped_lock lock(mutex);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].folder.load() >= 0) continue;
        std::memcpy(slots[i].name.data(), name.c_str(), name.size() + 1);
        slots[i].folder.store(folder);
        return static_cast<int>(i);
    }
    return -1;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the entry name in folder is still the file open as fd.
bool stillNamed(int folder, const char* name, int fd) {
    struct stat named {};
    struct stat open {};
    return ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0 &&
           sameFile(named, open);
}

bool procAvailable() {
    return ::access("/proc/self/fd", X_OK) == 0;
}

} // namespace

std::string temporaryName() {
    static std::mutex mutex;
    static std::random_device random;
    static std::mt19937_64 generator(random());
    const std::scoped_lock lock(mutex);
    constexpr char hex[] = "0123456789abcdef";
    std::string name(Prefix);
    std::uint64_t bits = generator();
    for (std::size_t i = 0; i < HexDigits; ++i, bits >>= 4)
        name += hex[bits & 15];
    return name.append(Suffix);
}

bool isTemporaryName(std::string_view name) {
    if (name.size() != Prefix.size() + HexDigits + Suffix.size() || !name.starts_with(Prefix) ||
        !name.ends_with(Suffix))
        return false;
    const std::string_view digits = name.substr(Prefix.size(), HexDigits);
    return digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

TemporaryFile::TemporaryFile(int folder, std::string folderPath, mode_t unnamedMode)
    : folder_(folder), folderPath_(std::move(folderPath)) {
    if (procAvailable()) {
        file_ = Descriptor(::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, unnamedMode));
        if (file_) {
            ::flock(file_.get(), LOCK_EX); // a renaming child names it for a moment
            return;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            error_ = errno;
            return;
        }
    }
    for (int attempt = 0; attempt < Attempts; ++attempt)
        if (createNamed() || error_ != 0) return;
    error_ = EEXIST;
}

// One attempt at a named file; false with no error when the name was taken, or the file was
// taken for a leftover by another run before it was locked.
bool TemporaryFile::createNamed() {
    const HeldSignals held; // until the ending signals can find it
    const std::string name = temporaryName();
    Descriptor file(
        ::openat(folder_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file) {
        if (errno != EEXIST) error_ = errno;
        return false;
    }
    signalWatch().arm();
    slot_ = takeSlot(folder_, name);
    if (slot_ < 0) {
        ::unlinkat(folder_, name.c_str(), 0);
        signalWatch().disarm();
        error_ = EMFILE;
        return false;
    }
    file_ = std::move(file);
    ::fchmod(file_.get(), 0600); // whatever the umask, a library must be able to open it by name
    // A run that sweeps leftovers may have locked and removed it before this lock was taken.
    ::flock(file_.get(), LOCK_EX);
    if (stillNamed(folder_, name.c_str(), file_.get())) return true;
    slots[static_cast<std::size_t>(slot_)].folder.store(-1);
    slot_ = -1;
    signalWatch().disarm();
    file_ = Descriptor();
    return false;
}

TemporaryFile::~TemporaryFile() {
    if (slot_ < 0) return;
    Slot& slot = slots[static_cast<std::size_t>(slot_)];
    ::unlinkat(folder_, slot.name.data(), 0);
    slot.folder.store(-1);
    signalWatch().disarm();
}

std::string TemporaryFile::path() const {
    if (slot_ < 0) return "/proc/self/fd/" + std::to_string(file_.get());
    return folderPath_ + "/" + slots[static_cast<std::size_t>(slot_)].name.data();
}

int TemporaryFile::renameTo(const std::string& to) {
    Slot& slot = slots[static_cast<std::size_t>(slot_)];
    const HeldSignals held;
    if (::renameat(folder_, slot.name.data(), folder_, to.c_str()) != 0) return errno;
    slot.folder.store(-1);
    slot_ = -1;
    signalWatch().disarm();
    return 0;
}

void removeLeftovers(int folder) {
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (entries == nullptr) {
        if (listing >= 0) ::close(listing);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        if (!isTemporaryName(entry->d_name)) continue;
        const Descriptor file(
            ::openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat status {};
        if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
            ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (stillNamed(folder, entry->d_name, file.get())) ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

HeldSignals::HeldSignals() {
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &saved_);
}

HeldSignals::~HeldSignals() {
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

} // namespace dozorira::files
