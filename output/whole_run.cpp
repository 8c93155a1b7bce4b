#include "whole_run.h"

#include "analyse_all.h"
#include "csv_writer.h"
#include "dat_writer.h"
#include "error.h"
#include "manifest.h"
#include "record_file.h"
#include "sha256.h"
#include "stats_file.h"
#include "task_file_guard.h"
#include "tsv_writer.h"
#include "whole_file.h"
#include "xlsx_writer.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/mman.h>
#include <unistd.h>

namespace dozorira::output {
namespace {

constexpr std::size_t SpssDocumentWidth = 80;

bool carriesProvenance(Format format) {
    return format == Format::Sav || format == Format::Dta || format == Format::Xlsx;
}

// A record, when there is one, goes into the formats that have room for it; a .dat, tsv and csv
// stay as their readers take them.
void render(const OutputRequest& request, const ResultTable& table, const RunRecord* record,
            files::WholeFile& out) {
    const auto lines = [record](std::size_t width = 0) {
        return record ? provenanceLines(*record, width) : std::vector<std::string>();
    };
    switch (request.format) {
    case Format::Dat:
        writeDat(table.results(), {request.withColumnNames, request.decimalSeparator}, out);
        return;
    case Format::Tsv: writeTsv(table, request.decimalSeparator, out); return;
    case Format::Sav:
        writeStatsFile(table, Package::Spss, request.timestamp, out, lines(SpssDocumentWidth));
        return;
    case Format::Dta:
        writeStatsFile(table, Package::Stata, request.timestamp, out, lines());
        return;
    case Format::Csv: writeCsv(table, request.decimalSeparator, out); return;
    case Format::Xlsx:
        writeXlsx(table, request.timestamp, out, lines(),
                  record ? provenanceSummary(*record) : std::string());
        return;
    }
}

ResultTable readTable(const OutputRequest& request, const std::vector<std::string>& paths,
                      const std::vector<bool>& regularFiles, std::span<const ReadTap> taps) {
    const FormatRules& rules = rulesOf(request.format);
    const auto check = [&rules](const ParticipantResult& result, const std::string& path) {
        checkSubject(rules, result.subject, path);
    };
    const TrialNumbers trials =
        request.layout == Layout::Trials ? TrialNumbers::Kept : TrialNumbers::Dropped;
    return {study::analyseAll(paths, check, regularFiles, trials, taps), request.layout};
}

std::vector<bool> regularFilesOf(const study::TaskFiles& taskFiles) {
    std::vector<bool> regularFiles;
    for (const study::FileLook& look : taskFiles.looks)
        regularFiles.push_back(look.regular());
    return regularFiles;
}

bool sameFile(const files::OutputTarget& one, const files::OutputTarget& other) {
    using Kind = files::OutputTarget::Kind;
    if (one.kind != Kind::NewFile && other.kind != Kind::NewFile)
        return one.status.st_dev == other.status.st_dev && one.status.st_ino == other.status.st_ino;
    const auto absolute = [](const std::filesystem::path& file) {
        std::error_code ec;
        return std::filesystem::absolute(file, ec).lexically_normal();
    };
    return one.kind == other.kind && absolute(one.file) == absolute(other.file);
}

// The manifest's place, found with the output's, before any task file is read: refused as the
// output is, and never the output itself, whose bytes it records.
std::optional<files::OutputTarget> manifestTarget(const OutputRequest& request,
                                                  const files::OutputTarget& output,
                                                  const study::TaskFiles& taskFiles) {
    if (request.manifest.empty()) return std::nullopt;
    if (output.kind == files::OutputTarget::Kind::Stream)
        throw RunError(ErrorKind::FileError,
                       "the manifest records the output's SHA-256, which cannot be taken from "
                       "standard output, a device or a pipe; write the output to a file")
            .inFile(output.name);
    files::OutputTarget target = files::openTarget(request.manifest);
    refuseTaskFileAsOutput(target, taskFiles);
    if (sameFile(target, output))
        throw RunError(ErrorKind::FileError,
                       "the manifest would be the output file; give it a name of its own")
            .inFile(target.name);
    return target;
}

OutputDigest digestOf(files::WholeFile& output) {
    Sha256 hash;
    OutputDigest digest;
    output.readBack([&](std::string_view piece) {
        hash.add(piece);
        digest.size += piece.size();
    });
    digest.sha256 = hash.finish();
    return digest;
}

// An unnamed file in memory, which a WholeFile writes into as into a pipe, and from which the
// bytes are read back.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("dozorira-verify", MFD_CLOEXEC)) {
        if (!fd_) files::failOutput("a file in memory", "cannot create", errno);
    }

    files::OutputTarget target(const std::string& name) const {
        files::OutputTarget target;
        target.kind = files::OutputTarget::Kind::Stream;
        target.name = name;
        target.descriptor = files::Descriptor(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 3));
        if (!target.descriptor || ::fstat(target.descriptor.get(), &target.status) != 0)
            files::failOutput(name, "cannot create", errno);
        return target;
    }

    std::string bytes(const std::string& name) const {
        std::string all;
        std::array<char, 65536> block{};
        for (off_t at = 0;;) {
            const ssize_t got = ::pread(fd_.get(), block.data(), block.size(), at);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) files::failOutput(name, "cannot read back", errno);
            if (got == 0) return all;
            all.append(block.data(), static_cast<std::size_t>(got));
            at += got;
        }
    }

private:
    files::Descriptor fd_;
};

} // namespace

// The order of a run's outputs: both are found before any task file is read, the output is
// finished and hashed before either is committed, and the manifest, which names the output, is
// committed after it.
void writeOutput(const OutputRequest& request, const study::TaskFiles& taskFiles) {
    files::OutputTarget target = files::openTarget(request.path);
    refuseTaskFileAsOutput(target, taskFiles);
    std::optional<files::OutputTarget> manifestPlace = manifestTarget(request, target, taskFiles);
    files::WholeFile output(std::move(target));
    std::optional<files::WholeFile> manifest;
    if (manifestPlace) manifest.emplace(std::move(*manifestPlace));
    if (!manifest && !carriesProvenance(request.format)) {
        render(request, readTable(request, taskFiles.paths, regularFilesOf(taskFiles), {}), nullptr,
               output);
        output.commit();
        return;
    }
    // One time for the file's stamp and its record, so that the run can be made again.
    OutputRequest stamped = request;
    stamped.timestamp = request.timestamp.value_or(std::time(nullptr));
    RunRecord record = recordOf(stamped, taskFiles, *stamped.timestamp);
    TaskFileDigests digests(taskFiles.paths.size());
    const ResultTable table =
        readTable(stamped, taskFiles.paths, regularFilesOf(taskFiles), digests.taps());
    digests.fillIn(record.taskFiles);
    render(stamped, table, &record, output);
    if (manifest)
        manifest->write(manifestText(record, request.manifest, request.path, digestOf(output)));
    output.commit();
    if (manifest) manifest->commit();
}

CheckManifest::CheckManifest(const OutputRequest& request, const study::TaskFiles& taskFiles) {
    if (request.manifest.empty()) return;
    files::OutputTarget target = files::openTarget(request.manifest);
    refuseTaskFileAsOutput(target, taskFiles);
    file_.emplace(std::move(target));
    path_ = request.manifest;
    record_ = recordOf(request, taskFiles, request.timestamp.value_or(std::time(nullptr)));
    record_.options = optionsOf(request, true);
    digests_ = std::make_unique<TaskFileDigests>(taskFiles.paths.size());
}

CheckManifest::~CheckManifest() = default;

const ReadTap* CheckManifest::tap(std::size_t file) const {
    return digests_ ? &digests_->taps()[file] : nullptr;
}

void CheckManifest::commit() {
    if (!file_) return;
    digests_->fillIn(record_.taskFiles);
    file_->write(manifestText(record_, path_, {}, std::nullopt));
    file_->commit();
}

std::string writeInMemory(RunRecord& record, const std::vector<std::string>& paths,
                          const std::string& name) {
    OutputRequest request = requestOf(record.options, name);
    request.timestamp = record.time;
    TaskFileDigests digests(paths.size());
    const ResultTable table = readTable(request, paths, {}, digests.taps());
    digests.fillIn(record.taskFiles);
    const MemoryFile memory;
    files::WholeFile output(memory.target(name));
    render(request, table, &record, output);
    output.commit();
    return memory.bytes(name);
}

} // namespace dozorira::output
