#include "whole_run.h"

#include "analysis.h"
#include "stats_file.h"
#include "target.h"
#include "tsv_writer.h"

namespace dozorira::output {
namespace {

std::vector<ParticipantResult> analyseAll(const std::vector<std::string>& taskFiles,
                                          const FormatRules& rules) {
    std::vector<ParticipantResult> results;
    results.reserve(taskFiles.size());
    for (const std::string& path : taskFiles) {
        results.push_back(analyseTaskFile(path));
        checkSubject(rules, results.back().subject, path);
    }
    return results;
}

void render(const OutputRequest& request, const ResultTable& table, WholeFile& out) {
    switch (request.format) {
    case Format::Tsv: writeTsv(table, request.decimalSeparator, out); return;
    case Format::Sav: writeStatsFile(table, Package::Spss, request.timestamp, out); return;
    case Format::Dta: writeStatsFile(table, Package::Stata, request.timestamp, out); return;
    case Format::Dat: break;
    }
    throw std::logic_error("the .dat is written record by record");
}

} // namespace

void runWhole(const OutputRequest& request, const std::vector<std::string>& taskFiles) {
    refuseTaskFileAsOutput(request.path, taskFiles);
    const ResultTable table(analyseAll(taskFiles, rulesOf(request.format)), request.layout);
    WholeFile output(request.path);
    render(request, table, output);
    output.commit();
}

} // namespace dozorira::output
