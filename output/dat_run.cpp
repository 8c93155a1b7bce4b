#include "dat_run.h"

#include "analysis.h"
#include "dat_writer.h"
#include "task_file_guard.h"

namespace dozorira::output {

DatRun::DatRun(std::string OutputPath, DatOptions options)
    : output_(std::move(OutputPath)), options_(options) {}

void DatRun::run(const std::vector<std::string>& taskFiles) {
    recordsWritten_ = 0;
    refuseTaskFileAsOutput(output_.path(), taskFiles);
    output_.truncate();
    for (const std::string& path : taskFiles)
        LeesFile(path);
}

void DatRun::LeesFile(const std::string& path) {
    // The column names go before the first record of a run and never again.
    const ParticipantResult result = analyseTaskFile(path);
    std::string bytes;
    if (options_.withColumnNames && recordsWritten_ == 0)
        bytes = columnNames(result.clusterCount());
    bytes += datRecord(result, options_.decimalSeparator);
    output_.append(bytes);
    ++recordsWritten_;
}

} // namespace dozorira::output
