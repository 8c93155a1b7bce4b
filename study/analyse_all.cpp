#include "analyse_all.h"

#include "analysis.h"
#include "threads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>

namespace dozorira::study {
namespace {

const ReadTap* tapOf(std::span<const ReadTap> taps, std::size_t file) {
    return taps.empty() ? nullptr : &taps[file];
}

// One run's files shared out between threads, each taking the next file nobody has taken.
class SharedRun {
public:
    SharedRun(const std::vector<std::string>& taskFiles, const ResultCheck& check,
              const std::vector<bool>& regularFiles, Detail detail, std::span<const ReadTap> taps)
        : files_(taskFiles), check_(check), regular_(regularFiles), detail_(detail), taps_(taps),
          results_(taskFiles.size()), errors_(taskFiles.size()), end_(taskFiles.size()) {}

    void work() {
        for (std::size_t i = next_++; i < end_.load(); i = next_++) {
            if (leftToCaller(i)) continue;
            try {
                results_[i] = analyseTaskFile(files_[i], opening(), detail_, tapOf(taps_, i));
                if (results_[i]) check_(*results_[i], files_[i]);
            } catch (...) {
                errors_[i] = std::current_exception();
                stopAt(i);
            }
        }
    }

    // Once every thread is done: every file before the first that failed was read, except the
    // pipes and devices left to this thread, which are read now, in their turn.
    std::vector<ParticipantResult> results() {
        std::vector<ParticipantResult> inOrder;
        inOrder.reserve(files_.size());
        for (std::size_t i = 0; i < files_.size(); ++i) {
            if (errors_[i]) std::rethrow_exception(errors_[i]);
            if (!results_[i]) {
                results_[i] = analyseTaskFile(files_[i], nullptr, detail_, tapOf(taps_, i));
                check_(*results_[i], files_[i]);
            }
            inOrder.push_back(std::move(*results_[i]));
        }
        return inOrder;
    }

private:
    // A file found to be regular a moment ago is opened without a second look; one found to be
    // anything else, or not found, is left to the calling thread.
    bool leftToCaller(std::size_t i) const { return !regular_.empty() && !regular_[i]; }
    Opening opening() const {
        return regular_.empty() ? Opening::RegularFileOnly : Opening::AnyFile;
    }

    // No thread takes a file after a failing one; those taken already are read to the end.
    void stopAt(std::size_t failed) {
        std::size_t end = end_.load();
        while (failed < end && !end_.compare_exchange_weak(end, failed)) {
        }
    }

    const std::vector<std::string>& files_;
    const ResultCheck& check_;
    const std::vector<bool>& regular_;
    Detail detail_;
    std::span<const ReadTap> taps_;
    std::vector<std::optional<ParticipantResult>> results_;
    std::vector<std::exception_ptr> errors_;
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> end_;
};

std::vector<ParticipantResult> analyseOneByOne(const std::vector<std::string>& taskFiles,
                                               const ResultCheck& check, Detail detail,
                                               std::span<const ReadTap> taps) {
    std::vector<ParticipantResult> results;
    results.reserve(taskFiles.size());
    for (std::size_t i = 0; i < taskFiles.size(); ++i) {
        results.push_back(analyseTaskFile(taskFiles[i], nullptr, detail, tapOf(taps, i)));
        check(results.back(), taskFiles[i]);
    }
    return results;
}

} // namespace

std::vector<ParticipantResult> analyseAll(const std::vector<std::string>& taskFiles,
                                          const ResultCheck& check,
                                          const std::vector<bool>& regularFiles, Detail detail,
                                          std::span<const ReadTap> taps) {
    const unsigned threads = threadsFor(taskFiles.size());
    if (threads == 1) return analyseOneByOne(taskFiles, check, detail, taps);
    SharedRun run(taskFiles, check, regularFiles, detail, taps);
    onThreads(threads, [&run] { run.work(); });
    return run.results();
}

} // namespace dozorira::study
