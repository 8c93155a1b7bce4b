#include "analyse_all.h"
#include "csv_writer.h"
#include "dat_writer.h"
#include "request.h"
#include "stats_file.h"
#include "task_file_guard.h"
#include "tsv_writer.h"
#include "whole_file.h"
#include "xlsx_writer.h"

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
    const auto check = [&rules](const ParticipantResult& result, const std::string& path) {
        checkSubject(rules, result.subject, path);
    };
    const TrialNumbers trials =
        request.layout == Layout::Trials ? TrialNumbers::Kept : TrialNumbers::Dropped;
    return study::analyseAll(taskFiles.paths, check, regularFiles, trials);
}

// A run with a report reads each task file once for both: as --check reads it, one after the
// other, ending at the first that fails as the run does.
std::vector<ParticipantResult> readAndCheck(const OutputRequest& request,
                                            const study::TaskFiles& taskFiles,
                                            std::vector<std::string>& lines, CheckCounts& counts) {
    RunCheck run(request.format);
    std::vector<ParticipantResult> results;
    const auto keep = [&lines](const std::string& line) { lines.push_back(line); };
    counts = checkTaskFiles(run, taskFiles.paths, keep, &results, true);
    lines.push_back(checkSummary(counts));
    return results;
}

} // namespace

// Everything the batch command writes is written whole, the .dat too, so that a failed run leaves
// the earlier output as it was; only the window writes its .dat record by record (dat_run). Every
// file of the run is found before any task file is read, and each is complete before the first
// takes its place.
void writeOutput(const OutputRequest& request, const study::TaskFiles& taskFiles,
                 const ReportRequest* report) {
    files::OutputTarget target = files::openTarget(request.path);
    refuseTaskFileAsOutput(target, taskFiles);
    std::optional<files::WholeFile> reportFile;
    if (report) reportFile.emplace(reportTarget(*report, taskFiles, &target));
    files::WholeFile output(std::move(target));
    std::vector<std::string> lines;
    CheckCounts counts;
    const ResultTable table(report ? readAndCheck(request, taskFiles, lines, counts)
                                   : read(request, taskFiles),
                            request.layout);
    render(request, table, output);
    if (report) report->write({request.format, false, table.results(), lines, counts}, *reportFile);
    output.commit();
    if (reportFile) reportFile->commit();
}

CheckCounts checkStudy(Format format, const std::string& outputPath,
                       const study::TaskFiles& taskFiles, const LineSink& print,
                       const ReportRequest* report) {
    std::optional<files::WholeFile> reportFile;
    if (report) reportFile.emplace(reportTarget(*report, taskFiles, nullptr));
    RunCheck run(format, outputPath);
    std::vector<std::string> lines;
    std::vector<ParticipantResult> passed;
    const auto printAndKeep = [&](const std::string& line) {
        print(line);
        if (report) lines.push_back(line);
    };
    const CheckCounts counts =
        checkTaskFiles(run, taskFiles.paths, printAndKeep, report ? &passed : nullptr);
    printAndKeep(checkSummary(counts));
    if (!report) return counts;
    report->write({format, true, passed, lines, counts}, *reportFile);
    reportFile->commit();
    return counts;
}

} // namespace dozorira::output
