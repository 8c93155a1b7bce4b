#include "whole_run.h"

#include "analysis.h"
#include "csv_writer.h"
#include "stats_file.h"
#include "target.h"
#include "tsv_writer.h"
#include "xlsx_writer.h"

namespace dozorira::output {
namespace {

// The numbers of every trial are kept only for trial rows, so other runs do not hold them.
std::vector<ParticipantResult> analyseAll(const std::vector<std::string>& taskFiles,
                                          const FormatRules& rules, Layout layout) {
    const TrialNumbers trialNumbers =
        layout == Layout::Trials ? TrialNumbers::Kept : TrialNumbers::Dropped;
    std::vector<ParticipantResult> results;
    results.reserve(taskFiles.size());
    for (const std::string& path : taskFiles) {
        results.push_back(analyseTaskFile(path, nullptr, trialNumbers));
        checkSubject(rules, results.back().subject, path);
    }
    return results;
}

void render(const OutputRequest& request, const ResultTable& table, WholeFile& out) {
    switch (request.format) {
    case Format::Tsv: writeTsv(table, request.decimalSeparator, out); return;
    case Format::Sav: writeStatsFile(table, Package::Spss, request.timestamp, out); return;
    case Format::Dta: writeStatsFile(table, Package::Stata, request.timestamp, out); return;
    case Format::Csv: writeCsv(table, request.decimalSeparator, out); return;
    case Format::Xlsx: writeXlsx(table, request.timestamp, out); return;
    case Format::Dat: break;
    }
    throw std::logic_error("the .dat is written record by record");
}

} // namespace

void runWhole(const OutputRequest& request, const std::vector<std::string>& taskFiles) {
    refuseTaskFileAsOutput(request.path, taskFiles);
    const ResultTable table(analyseAll(taskFiles, rulesOf(request.format), request.layout),
                            request.layout);
    WholeFile output(request.path);
    render(request, table, output);
    output.commit();
}

} // namespace dozorira::output
