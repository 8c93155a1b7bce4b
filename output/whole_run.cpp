#include "analysis.h"
#include "csv_writer.h"
#include "dat_writer.h"
#include "request.h"
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

} // namespace

// Everything the batch command writes is written whole, the .dat too, so that a failed run leaves
// the earlier output as it was; only the window writes its .dat record by record (dat_run).
void writeOutput(const OutputRequest& request, const std::vector<std::string>& taskFiles) {
    OutputTarget target = openTarget(request.path);
    refuseTaskFileAsOutput(target, taskFiles);
    WholeFile output(std::move(target));
    const ResultTable table(analyseAll(taskFiles, rulesOf(request.format), request.layout),
                            request.layout);
    render(request, table, output);
    output.commit();
}

} // namespace dozorira::output
