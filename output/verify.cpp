#include "verify.h"

#include "error.h"
#include "manifest.h"
#include "sha256.h"
#include "stats_file.h"
#include "task_files.h"
#include "whole_run.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace dozorira::output {
namespace {

namespace fs = std::filesystem;

// What to verify, with every file where it is now.
struct Plan {
    RunRecord record;
    std::vector<std::string> taskFiles; // each of record.taskFiles
    std::vector<std::string> folders;   // each of record.folders
    std::string output;                 // empty for a manifest of --check
    std::optional<OutputDigest> outputDigest;
    std::string subject; // what the verdict names: the output, or the manifest of a check
};

std::string normal(const std::string& path) {
    return fs::path(path).lexically_normal().string();
}

// A name from the run, found from the folder where its relative names start.
std::string located(const std::string& start, const std::string& name) {
    return fs::path(name).is_absolute() ? name : normal((fs::path(start) / name).string());
}

std::optional<Package> packageOf(const std::string& path) {
    char head[11] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw RunError(ErrorKind::FileError,
                       "cannot open the file: " + std::generic_category().message(errno))
            .inFile(path);
    const ssize_t got = ::read(fd, head, sizeof head);
    ::close(fd);
    const std::string_view start(head, got > 0 ? static_cast<std::size_t>(got) : 0);
    if (start.starts_with("$FL2") || start.starts_with("$FL3")) return Package::Spss;
    if (start.starts_with("<stata_dta>")) return Package::Stata;
    return std::nullopt;
}

Plan planOfManifest(const std::string& path) {
    Manifest manifest = readManifest(path);
    Plan plan{std::move(manifest.run),
              std::move(manifest.taskFiles),
              std::move(manifest.folders),
              manifest.outputFromManifest,
              std::nullopt,
              path};
    if (!manifest.check) {
        plan.outputDigest = manifest.outputDigest;
        plan.subject = plan.output;
    }
    return plan;
}

Plan planOfNotes(const std::string& path, Package package) {
    Plan plan{recordFromLines(notesOf(path, package), path), {}, {}, path, std::nullopt, path};
    const std::string start = (fs::path(folderOf(path)) / plan.record.namesFrom).string();
    for (const TaskFileRecord& file : plan.record.taskFiles)
        plan.taskFiles.push_back(located(start, file.path));
    for (const std::string& folder : plan.record.folders)
        plan.folders.push_back(located(start, folder));
    return plan;
}

// The size and SHA-256 of a file; nothing when it cannot be read.
std::optional<TaskFileRecord> digestOf(const std::string& path, std::string* bytes = nullptr) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    Sha256 hash;
    TaskFileRecord digest{path, 0, {}};
    std::array<char, 65536> block{};
    ssize_t got = 0;
    while ((got = ::read(fd, block.data(), block.size())) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        const std::string_view piece(block.data(), static_cast<std::size_t>(got));
        hash.add(piece);
        digest.size += piece.size();
        if (bytes) bytes->append(piece);
    }
    ::close(fd);
    if (got < 0) return std::nullopt;
    digest.sha256 = hash.finish();
    return digest;
}

class Verification {
public:
    explicit Verification(Plan plan) : plan_(std::move(plan)) {}

    bool run(std::ostream& report) {
        findMissingAndAdded();
        const std::optional<std::string> made = makeAgain();
        compareTaskFiles();
        compareOutput(made);
        for (const std::string& problem : problems_)
            report << problem << '\n';
        const std::size_t count = plan_.taskFiles.size();
        const std::string files =
            std::to_string(count) + (count == 1 ? " task file" : " task files");
        if (plan_.output.empty())
            report << shownName(plan_.subject) << ": its " << files
                   << (problems_.empty() ? " match\n" : " do not all match\n");
        else
            report << shownName(plan_.subject)
                   << (problems_.empty() ? " matches its " : " does not match its ") << files
                   << '\n';
        return problems_.empty();
    }

private:
    void findMissingAndAdded() {
        present_.assign(plan_.taskFiles.size(), false);
        for (std::size_t i = 0; i < plan_.taskFiles.size(); ++i) {
            struct stat status {};
            present_[i] = ::stat(plan_.taskFiles[i].c_str(), &status) == 0;
            if (!present_[i]) problem(plan_.taskFiles[i], "the task file is missing");
        }
        const std::set<std::string> recorded(plan_.taskFiles.begin(), plan_.taskFiles.end());
        for (const std::string& folder : plan_.folders) {
            study::TaskFiles found;
            try {
                found = study::taskFilesOf({folder});
            } catch (const RunError&) {
                continue; // a folder gone, whose task files are missing
            }
            for (const std::string& path : found.paths)
                if (!recorded.contains(normal(path)))
                    problem(path, "a task file added to the folder " + shownName(folder, true) +
                                      " since the run");
        }
    }

    // The output as its task files give it now, when they are all there to give it.
    std::optional<std::string> makeAgain() {
        if (!problems_.empty() || plan_.output.empty()) return hashEach();
        RunRecord again = plan_.record;
        try {
            std::string made = writeInMemory(again, plan_.taskFiles, shownName(plan_.output));
            digests_ = again.taskFiles;
            return made;
        } catch (const RunError& e) {
            failure_ = e.what();
            return hashEach();
        }
    }

    std::optional<std::string> hashEach() {
        for (std::size_t i = 0; i < plan_.taskFiles.size(); ++i) {
            const auto digest = present_[i] ? digestOf(plan_.taskFiles[i]) : std::nullopt;
            digests_.push_back(digest.value_or(TaskFileRecord{}));
            if (present_[i] && !digest) problem(plan_.taskFiles[i], "the task file cannot be read");
        }
        return std::nullopt;
    }

    void compareTaskFiles() {
        for (std::size_t i = 0; i < plan_.taskFiles.size(); ++i) {
            const TaskFileRecord& recorded = plan_.record.taskFiles[i];
            const TaskFileRecord& now = digests_[i];
            if (!present_[i] || now.sha256.empty()) continue;
            if (now.size != recorded.size || now.sha256 != recorded.sha256)
                problem(plan_.taskFiles[i], "the task file changed since " +
                                                shownName(plan_.subject, true) +
                                                " was made (its SHA-256 differs)");
        }
    }

    void compareOutput(const std::optional<std::string>& made) {
        if (plan_.output.empty()) return;
        std::string bytes;
        const std::optional<TaskFileRecord> digest = digestOf(plan_.output, &bytes);
        if (!digest) {
            problem(plan_.output, "the output is missing");
            return;
        }
        if (plan_.outputDigest && (plan_.outputDigest->sha256 != digest->sha256 ||
                                   plan_.outputDigest->size != digest->size)) {
            problem(plan_.output, "the output changed since the manifest was written (its "
                                  "SHA-256 differs)");
            return;
        }
        // Changed task files give another file: the output is named only when none has changed.
        if (made && *made != bytes && problems_.empty())
            problem(plan_.output,
                    "the output differs from the file its task files give" + versionNote());
        if (!failure_.empty() && problems_.empty()) problems_.push_back(failure_);
    }

    std::string versionNote() const {
        if (plan_.record.version == DOZORIRA_VERSION) return "";
        return " (dozorira-batch " + plan_.record.version + " made it; this is " +
               DOZORIRA_VERSION + ")";
    }

    void problem(const std::string& path, const std::string& what) {
        problems_.push_back(shownName(path) + ": " + what);
    }

    Plan plan_;
    std::vector<bool> present_;
    std::vector<TaskFileRecord> digests_;
    std::string failure_;
    std::vector<std::string> problems_;
};

} // namespace

bool verify(const std::string& path, std::ostream& report) {
    const std::optional<Package> package = packageOf(path);
    Plan plan = package ? planOfNotes(path, *package) : planOfManifest(path);
    return Verification(std::move(plan)).run(report);
}

} // namespace dozorira::output
