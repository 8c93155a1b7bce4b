#include "rename_child.h"

#include "temporary_file.h"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dozorira::files {
namespace {

constexpr int Attempts = 100;

// Everything the child needs, made before it starts: between vfork and _exit it may only make
// system calls, never allocate.
struct Job {
    int file = -1;
    int folder = -1;
    std::array<char, 64> self{}; // /proc/self/fd/N
    std::array<char, 64> link{}; // the file's own name for a moment
    std::array<char, NAME_MAX + 1> name{};
};

int runJob(const Job& job) noexcept {
    if (::linkat(AT_FDCWD, job.self.data(), job.folder, job.link.data(), AT_SYMLINK_FOLLOW) != 0 &&
        (errno != ENOENT ||
         ::linkat(job.file, "", job.folder, job.link.data(), AT_EMPTY_PATH) != 0))
        return errno;
    if (::renameat(job.folder, job.link.data(), job.folder, job.name.data()) == 0) return 0;
    const int error = errno;
    ::unlinkat(job.folder, job.link.data(), 0);
    return error;
}

bool leadsTo(int folder, const char* name, const struct stat& file) {
    struct stat entry {};
    return ::fstatat(folder, name, &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
           entry.st_dev == file.st_dev && entry.st_ino == file.st_ino;
}

// SIGCHLD at its default while the parent waits: ignored, as `trap '' CHLD` leaves it, the
// kernel would reap the child itself and the wait would find no child.
class DefaultChildSignal {
public:
    DefaultChildSignal() {
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        ::sigaction(SIGCHLD, &standard, &saved_);
    }
    ~DefaultChildSignal() { ::sigaction(SIGCHLD, &saved_, nullptr); }
    DefaultChildSignal(const DefaultChildSignal&) = delete;
    DefaultChildSignal& operator=(const DefaultChildSignal&) = delete;

private:
    struct sigaction saved_ {};
};

// A child killed before it ended: whatever it left is looked at. Its link is removed, and the
// output is found replaced or not.
Replacement afterKilledChild(const Job& job, int signal) {
    struct stat file {};
    Replacement outcome;
    outcome.killedBy = signal;
    outcome.error = EINTR;
    if (::fstat(job.file, &file) != 0) return outcome;
    if (leadsTo(job.folder, job.link.data(), file)) ::unlinkat(job.folder, job.link.data(), 0);
    outcome.replaced = leadsTo(job.folder, job.name.data(), file);
    return outcome;
}

Replacement runInChild(const Job& job) {
    const HeldSignals held; // the child inherits them: only SIGKILL can stop it
    const DefaultChildSignal childSignal;
    const pid_t child = ::vfork();
    if (child < 0) {
        const int error = runJob(job);
        return {error, 0, error == 0};
    }
    if (child == 0) {
        // Out of the run's process group, so that a kill of the group cannot stop it halfway.
        ::setpgid(0, 0);
        ::_exit(runJob(job));
    }
    int status = 0;
    if (retryOnInterrupt([&] { return ::waitpid(child, &status, 0); }) < 0)
        return afterKilledChild(job, 0);
    if (WIFSIGNALED(status)) return afterKilledChild(job, WTERMSIG(status));
    const int error = WIFEXITED(status) ? WEXITSTATUS(status) : ECHILD;
    return {error, 0, error == 0};
}

void copyInto(std::span<char> to, const std::string& from) {
    const std::size_t size = std::min(from.size(), to.size() - 1);
    std::memcpy(to.data(), from.data(), size);
    to[size] = '\0';
}

} // namespace

int linkUnnamed(int file, int folder, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(file);
    if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return errno;
    // No /proc: the way that needs privileges.
    return ::linkat(file, "", folder, name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

Replacement replaceByLink(int file, int folder, const std::string& name) {
    if (name.size() > NAME_MAX) return {ENAMETOOLONG, 0, false};
    Job job;
    job.file = file;
    job.folder = folder;
    copyInto(job.self, "/proc/self/fd/" + std::to_string(file));
    copyInto(job.name, name);
    Replacement outcome;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        copyInto(job.link, temporaryName());
        outcome = runInChild(job);
        if (outcome.error != EEXIST) return outcome;
    }
    return outcome;
}

} // namespace dozorira::files
