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

} // namespace

// Everything the batch command writes is written whole, the .dat too, so that a failed run leaves
// the earlier output as it was; only the window writes its .dat record by record (dat_run).
RunNotices writeOutput(const OutputRequest& request, const study::TaskFiles& taskFiles) {
    files::OutputTarget target = files::openTarget(request.path);
    refuseTaskFileAsOutput(target, taskFiles);
    std::vector<bool> regularFiles;
    for (const study::FileLook& look : taskFiles.looks)
        regularFiles.push_back(look.regular());
    files::WholeFile output(std::move(target),
                            request.inPlace ? files::Writing::InPlace : files::Writing::Replace);
    const FormatRules& rules = rulesOf(request.format);
    const auto check = [&](const ParticipantResult& result, const std::string& path) {
        checkTexts(rules, request.layout, result, path);
    };
    const Detail detail = request.layout == Layout::Wide   ? Detail::Record
                          : request.layout == Layout::Long ? Detail::Clusters
                                                           : Detail::Trials;
    const ResultTable table(study::analyseAll(taskFiles.paths, check, regularFiles, detail),
                            request.layout);
    render(request, table, output);
    files::commitAll({&output});
    RunNotices notices = output.notes();
    for (std::string& notice : columnNotices(request, table))
        notices.push_back(std::move(notice));
    return notices;
}

} // namespace dozorira::output
