#include "whole_run.h"

#include "analyse_all.h"
#include "commit_all.h"
#include "csv_writer.h"
#include "dat_writer.h"
#include "error.h"
#include "manifest.h"
#include "record_file.h"
#include "request.h"
#include "sha256.h"
#include "stats_file.h"
#include "task_file_guard.h"
#include "tsv_writer.h"
#include "warnings.h"
#include "whole_file.h"
#include "xlsx_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <optional>
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

// A .dat names the columns of its first record's clusters, and every record has as many columns
// as it has clusters: a reader that takes the names as the table's shape shifts the others.
RunNotices columnNotices(const OutputRequest& request, const ResultTable& table) {
    if (!rulesOf(request.format).columnsOfFirstFile || table.results().empty()) return {};
    const int first = table.results().front().clusterCount();
    const auto others = std::count_if(
        table.results().begin(), table.results().end(),
        [first](const ParticipantResult& result) { return result.clusterCount() != first; });
    if (others == 0) return {};
    std::string notice =
        (request.path == "-" ? std::string("standard output") : shownName(request.path)) +
        ": warning: " + std::to_string(others) + " of its " +
        std::to_string(table.results().size()) + " records " + (others == 1 ? "has" : "have") +
        " more or fewer clusters than ";
    notice += request.withColumnNames ? "its column names cover" : "its first record";
    notice += " (" + counted(first, "cluster", "clusters") +
              "): R and pandas read this .dat with shifted columns: write a tsv, csv, sav or dta "
              "for them";
    return {notice};
}

// The report goes where an output could go, and never where the output or --check's lines go.
files::OutputTarget reportTarget(const ReportRequest& report, const study::TaskFiles& taskFiles,
                                 const files::OutputTarget* output) {
    files::OutputTarget target = files::openTarget(report.path);
    refuseTaskFileAsOutput(target, taskFiles, "report file");
    if (output)
        refuseOneFileForTwo(target, "report file", *output, "output file");
    else
        refuseStandardOutputAsReport(target);
    return target;
}

// The manifest's place, found with the output's, before any task file is read: refused as the
// output is, and never the output itself, whose bytes it records, nor the report.
std::optional<files::OutputTarget> manifestTarget(const OutputRequest& request,
                                                  const files::OutputTarget* output,
                                                  const files::OutputTarget* report,
                                                  const study::TaskFiles& taskFiles) {
    if (request.manifest.empty()) return std::nullopt;
    if (output && output->kind == files::OutputTarget::Kind::Stream)
        throw RunError(ErrorKind::FileError,
                       "the manifest records the output's SHA-256, which cannot be taken from "
                       "standard output, a device or a pipe; write the output to a file")
            .inFile(output->name);
    files::OutputTarget target = files::openTarget(request.manifest);
    refuseTaskFileAsOutput(target, taskFiles, "manifest");
    if (output) refuseOneFileForTwo(target, "manifest", *output, "output file");
    if (report) refuseOneFileForTwo(target, "manifest", *report, "report file");
    return target;
}

std::vector<bool> regularFilesOf(const study::TaskFiles& taskFiles) {
    std::vector<bool> regularFiles;
    for (const study::FileLook& look : taskFiles.looks)
        regularFiles.push_back(look.regular());
    return regularFiles;
}

std::vector<ParticipantResult> read(const OutputRequest& request,
                                    const std::vector<std::string>& paths,
                                    const std::vector<bool>& regularFiles,
                                    std::span<const ReadTap> taps) {
    const FormatRules& rules = rulesOf(request.format);
    const auto check = [&](const ParticipantResult& result, const std::string& path) {
        checkTexts(rules, request.layout, result, path);
    };
    const Detail detail = request.layout == Layout::Wide   ? Detail::Record
                          : request.layout == Layout::Long ? Detail::Clusters
                                                           : Detail::Trials;
    return study::analyseAll(paths, check, regularFiles, detail, taps);
}

// A run with a report reads each task file once for both: as --check reads it, one after the
// other, ending at the first that fails as the run does.
std::vector<ParticipantResult> readAndCheck(const OutputRequest& request,
                                            const study::TaskFiles& taskFiles,
                                            std::span<const ReadTap> taps,
                                            std::vector<std::string>& lines, CheckCounts& counts) {
    RunCheck run(request.format, request.layout);
    std::vector<ParticipantResult> results;
    const auto keep = [&lines](const std::string& line) { lines.push_back(line); };
    counts = checkTaskFiles(run, taskFiles.paths, keep, &results, true, taps);
    for (std::string& line : checkSummary(counts))
        lines.push_back(std::move(line));
    return results;
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
            const ssize_t got = files::retryOnInterrupt(
                [&] { return ::pread(fd_.get(), block.data(), block.size(), at); });
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

// Everything the batch command writes is written whole, the .dat too, so that a failed run leaves
// the earlier output as it was; only the window writes its .dat record by record (dat_run). Every
// file of the run is found before any task file is read; the output is finished and hashed
// before any of them is committed, and the report and the manifest, which names the output, take
// their places after it.
RunNotices writeOutput(const OutputRequest& request, const study::TaskFiles& taskFiles,
                       const ReportRequest* report) {
    // Started first, so that libcrypto loads while the run opens its files.
    std::optional<TaskFileDigests> digests;
    if (!request.manifest.empty() || carriesProvenance(request.format))
        digests.emplace(taskFiles.paths.size());
    files::OutputTarget target = files::openTarget(request.path);
    refuseTaskFileAsOutput(target, taskFiles);
    std::optional<files::OutputTarget> reportPlace;
    if (report) reportPlace = reportTarget(*report, taskFiles, &target);
    std::optional<files::OutputTarget> manifestPlace =
        manifestTarget(request, &target, reportPlace ? &*reportPlace : nullptr, taskFiles);
    files::WholeFile output(std::move(target),
                            request.inPlace ? files::Writing::InPlace : files::Writing::Replace);
    std::optional<files::WholeFile> reportFile;
    if (reportPlace) reportFile.emplace(std::move(*reportPlace));
    std::optional<files::WholeFile> manifest;
    if (manifestPlace) manifest.emplace(std::move(*manifestPlace));

    // One time for the file's stamp and its record, so that the run can be made again.
    OutputRequest stamped = request;
    std::optional<RunRecord> record;
    if (digests) {
        stamped.timestamp = request.timestamp.value_or(std::time(nullptr));
        record = recordOf(stamped, taskFiles, *stamped.timestamp);
    }
    const std::span<const ReadTap> taps = digests ? digests->taps() : std::span<const ReadTap>();
    std::vector<std::string> lines;
    CheckCounts counts;
    const ResultTable table(report
                                ? readAndCheck(stamped, taskFiles, taps, lines, counts)
                                : read(stamped, taskFiles.paths, regularFilesOf(taskFiles), taps),
                            request.layout);
    if (digests) digests->fillIn(record->taskFiles);
    render(stamped, table, record ? &*record : nullptr, output);
    if (report) report->write({request.format, false, table.results(), lines, counts}, *reportFile);
    if (manifest)
        writeManifest(*record, request.manifest, request.path, digestOf(output), *manifest);

    std::vector<files::WholeFile*> outputs = {&output};
    if (reportFile) outputs.push_back(&*reportFile);
    if (manifest) outputs.push_back(&*manifest);
    files::commitAll(outputs);
    RunNotices notices;
    for (const files::WholeFile* file : outputs)
        notices.insert(notices.end(), file->notes().begin(), file->notes().end());
    for (std::string& notice : columnNotices(request, table))
        notices.push_back(std::move(notice));
    return notices;
}

CheckCounts checkStudy(const OutputRequest& request, const study::TaskFiles& taskFiles,
                       const LineSink& print, const ReportRequest* report) {
    std::optional<files::OutputTarget> reportPlace;
    if (report) reportPlace = reportTarget(*report, taskFiles, nullptr);
    CheckManifest manifest(request, taskFiles, reportPlace ? &*reportPlace : nullptr);
    std::optional<files::WholeFile> reportFile;
    if (reportPlace) reportFile.emplace(std::move(*reportPlace));
    RunCheck run(request.format, request.layout, request.path);
    std::vector<std::string> lines;
    std::vector<ParticipantResult> passed;
    const auto printAndKeep = [&](const std::string& line) {
        print(line);
        if (report) lines.push_back(line);
    };
    const CheckCounts counts = checkTaskFiles(run, taskFiles.paths, printAndKeep,
                                              report ? &passed : nullptr, false, manifest.taps());
    for (const std::string& line : checkSummary(counts, request.datForWantOfFormat))
        printAndKeep(line);
    std::vector<files::WholeFile*> outputs;
    if (report) {
        report->write({request.format, true, passed, lines, counts}, *reportFile);
        outputs.push_back(&*reportFile);
    }
    // A manifest records a study that passed, as a run would write it.
    if (files::WholeFile* written = counts.failed == 0 ? manifest.written() : nullptr)
        outputs.push_back(written);
    if (!outputs.empty()) files::commitAll(outputs);
    return counts;
}

CheckManifest::CheckManifest(const OutputRequest& request, const study::TaskFiles& taskFiles,
                             const files::OutputTarget* report) {
    std::optional<files::OutputTarget> target = manifestTarget(request, nullptr, report, taskFiles);
    if (!target) return;
    file_.emplace(std::move(*target));
    path_ = request.manifest;
    record_ = recordOf(request, taskFiles, request.timestamp.value_or(std::time(nullptr)));
    record_.options = optionsOf(request, true);
    digests_ = std::make_unique<TaskFileDigests>(taskFiles.paths.size());
}

CheckManifest::~CheckManifest() = default;

std::span<const ReadTap> CheckManifest::taps() const {
    return digests_ ? digests_->taps() : std::span<const ReadTap>();
}

files::WholeFile* CheckManifest::written() {
    if (!file_) return nullptr;
    digests_->fillIn(record_.taskFiles);
    writeManifest(record_, path_, {}, std::nullopt, *file_);
    return &*file_;
}

std::string writeInMemory(RunRecord& record, const std::vector<std::string>& paths,
                          const std::string& name) {
    OutputRequest request = requestOf(record.options, name);
    request.timestamp = record.time;
    TaskFileDigests digests(paths.size());
    const ResultTable table(read(request, paths, {}, digests.taps()), request.layout);
    digests.fillIn(record.taskFiles);
    const MemoryFile memory;
    files::WholeFile output(memory.target(name));
    render(request, table, &record, output);
    output.commit();
    return memory.bytes(name);
}

} // namespace dozorira::output
