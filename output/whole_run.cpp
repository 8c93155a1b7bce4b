#include "analyse_all.h"
#include "commit_all.h"
#include "csv_writer.h"
#include "dat_writer.h"
#include "error.h"
#include "request.h"
#include "stats_file.h"
#include "task_file_guard.h"
#include "tsv_writer.h"
#include "warnings.h"
#include "whole_file.h"
#include "xlsx_writer.h"

#include <algorithm>
#include <optional>

namespace dozorira::output {
namespace {

void render(const OutputRequest& request, const ResultTable& table, files::WholeFile& out) {
    switch (request.format) {
    case Format::Dat:
        writeDat(table.results(), {request.withColumnNames, request.decimalSeparator}, out);
        return;
    case Format::Tsv: writeTsv(table, request.decimalSeparator, out); return;
    case Format::Sav: writeStatsFile(table, Package::Spss, request.timestamp, out); return;
    case Format::Dta: writeStatsFile(table, Package::Stata, request.timestamp, out); return;
    case Format::Csv: writeCsv(table, request.decimalSeparator, out); return;
    case Format::Xlsx: writeXlsx(table, request.timestamp, out); return;
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
        refuseOutputAsReport(target, *output);
    else
        refuseStandardOutputAsReport(target);
    return target;
}

std::vector<ParticipantResult> read(const OutputRequest& request,
                                    const study::TaskFiles& taskFiles) {
    std::vector<bool> regularFiles;
    for (const study::FileLook& look : taskFiles.looks)
        regularFiles.push_back(look.regular());
    const FormatRules& rules = rulesOf(request.format);
    const auto check = [&](const ParticipantResult& result, const std::string& path) {
        checkTexts(rules, request.layout, result, path);
    };
    const Detail detail = request.layout == Layout::Wide   ? Detail::Record
                          : request.layout == Layout::Long ? Detail::Clusters
                                                           : Detail::Trials;
    return study::analyseAll(taskFiles.paths, check, regularFiles, detail);
}

// A run with a report reads each task file once for both: as --check reads it, one after the
// other, ending at the first that fails as the run does.
std::vector<ParticipantResult> readAndCheck(const OutputRequest& request,
                                            const study::TaskFiles& taskFiles,
                                            std::vector<std::string>& lines, CheckCounts& counts) {
    RunCheck run(request.format, request.layout);
    std::vector<ParticipantResult> results;
    const auto keep = [&lines](const std::string& line) { lines.push_back(line); };
    counts = checkTaskFiles(run, taskFiles.paths, keep, &results, true);
    for (std::string& line : checkSummary(counts))
        lines.push_back(std::move(line));
    return results;
}

files::Writing writingOf(const OutputRequest& request) {
    return request.inPlace ? files::Writing::InPlace : files::Writing::Replace;
}

} // namespace

// Everything the batch command writes is written whole, the .dat too, so that a failed run leaves
// the earlier output as it was; only the window writes its .dat record by record (dat_run). Every
// file of the run is found before any task file is read, and each is complete before the first
// takes its place.
RunNotices writeOutput(const OutputRequest& request, const study::TaskFiles& taskFiles,
                       const ReportRequest* report) {
    files::OutputTarget target = files::openTarget(request.path);
    refuseTaskFileAsOutput(target, taskFiles);
    std::optional<files::WholeFile> reportFile;
    if (report) reportFile.emplace(reportTarget(*report, taskFiles, &target));
    files::WholeFile output(std::move(target), writingOf(request));
    std::vector<std::string> lines;
    CheckCounts counts;
    const ResultTable table(report ? readAndCheck(request, taskFiles, lines, counts)
                                   : read(request, taskFiles),
                            request.layout);
    render(request, table, output);
    if (report) report->write({request.format, false, table.results(), lines, counts}, *reportFile);
    files::commitAll(reportFile ? std::vector{&output, &*reportFile} : std::vector{&output});
    RunNotices notices = output.notes();
    if (reportFile)
        notices.insert(notices.end(), reportFile->notes().begin(), reportFile->notes().end());
    for (std::string& notice : columnNotices(request, table))
        notices.push_back(std::move(notice));
    return notices;
}

CheckCounts checkStudy(const OutputRequest& request, const study::TaskFiles& taskFiles,
                       const LineSink& print, const ReportRequest* report) {
    std::optional<files::WholeFile> reportFile;
    if (report) reportFile.emplace(reportTarget(*report, taskFiles, nullptr));
    RunCheck run(request.format, request.layout, request.path);
    std::vector<std::string> lines;
    std::vector<ParticipantResult> passed;
    const auto printAndKeep = [&](const std::string& line) {
        print(line);
        if (report) lines.push_back(line);
    };
    const CheckCounts counts =
        checkTaskFiles(run, taskFiles.paths, printAndKeep, report ? &passed : nullptr);
    for (const std::string& line : checkSummary(counts, request.datForWantOfFormat))
        printAndKeep(line);
    if (!report) return counts;
    report->write({request.format, true, passed, lines, counts}, *reportFile);
    files::commitAll({&*reportFile});
    return counts;
}

} // namespace dozorira::output
