#include "analyse_all.h"
#include "commit_all.h"
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

} // namespace

// Everything the batch command writes is written whole, the .dat too, so that a failed run leaves
// the earlier output as it was; only the window writes its .dat record by record (dat_run).
std::vector<std::string> writeOutput(const OutputRequest& request,
                                     const study::TaskFiles& taskFiles) {
    files::OutputTarget target = files::openTarget(request.path);
    refuseTaskFileAsOutput(target, taskFiles);
    std::vector<bool> regularFiles;
    for (const study::FileLook& look : taskFiles.looks)
        regularFiles.push_back(look.regular());
    files::WholeFile output(std::move(target),
                            request.inPlace ? files::Writing::InPlace : files::Writing::Replace);
    const FormatRules& rules = rulesOf(request.format);
    const auto check = [&rules](const ParticipantResult& result, const std::string& path) {
        checkSubject(rules, result.subject, path);
    };
    const TrialNumbers trials =
        request.layout == Layout::Trials ? TrialNumbers::Kept : TrialNumbers::Dropped;
    const ResultTable table(study::analyseAll(taskFiles.paths, check, regularFiles, trials),
                            request.layout);
    render(request, table, output);
    files::commitAll({&output});
    return output.notes();
}

} // namespace dozorira::output
