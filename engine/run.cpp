#include "run.h"

#include "error.h"
#include "reader.h"
#include "scoring.h"
#include "writer.h"

#include <filesystem>
#include <system_error>

namespace dozorira {

ParticipantResult analyseTaskFile(const std::string& path, ClusterTables* tables) {
    try {
        ClusterTables read = readTaskFile(path);
        scoreClusters(read);
        ParticipantResult result = summarise(read, path);
        if (tables) *tables = std::move(read);
        return result;
    } catch (RunError& e) {
        throw e.inFile(path);
    }
}

AnalysisRun::AnalysisRun(std::string OutputPath, RunOptions options)
    : output_(std::move(OutputPath)), options_(options) {}

void AnalysisRun::run(const std::vector<std::string>& taskFiles) {
    recordsWritten_ = 0;
    refuseTaskFileAsOutput(output_.path(), taskFiles);
    output_.empty();
    for (const std::string& path : taskFiles)
        LeesFile(path);
}

void AnalysisRun::LeesFile(const std::string& path) {
    // The column names go before the first record of a run and never again.
    const ParticipantResult result = analyseTaskFile(path);
    std::string bytes;
    if (options_.withColumnNames && recordsWritten_ == 0)
        bytes = columnNames(result.clusterCount());
    bytes += datRecord(result, options_.decimalSeparator);
    output_.append(bytes);
    ++recordsWritten_;
}

void refuseTaskFileAsOutput(const std::string& outputPath,
                            const std::vector<std::string>& taskFiles) {
    std::error_code ec;
    if (!std::filesystem::exists(outputPath, ec)) return;
    for (const std::string& path : taskFiles) {
        if (std::filesystem::equivalent(outputPath, path, ec))
            throw RunError(ErrorKind::FileError,
                           "the output file is this task file; choose another output file")
                .inFile(path);
    }
}

} // namespace dozorira
