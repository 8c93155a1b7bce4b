#pragma once

#include "output_file.h"
#include "result.h"

#include <string>
#include <vector>

namespace dozorira {

struct RunOptions {
    bool withColumnNames = true; // "Including variable names"
    char decimalSeparator = '.';
};

// The whole analysis of one task file, without writing: read, scored and summarised. Errors
// name the file. When tables is given, the read and scored tables are moved into it.
ParticipantResult analyseTaskFile(const std::string& path, ClusterTables* tables = nullptr);

// A File error when the output is one of the task files, by whatever path; writing it would
// destroy that task file.
void refuseTaskFileAsOutput(const std::string& outputPath,
                            const std::vector<std::string>& taskFiles);

// One analysis run: empties the output file, then appends one record per task file, in order.
// The first error ends the run with a RunError; the output then holds the whole records of the
// files before the failing one, and nothing of it.
class AnalysisRun {
public:
    AnalysisRun(std::string OutputPath, RunOptions options);

    void run(const std::vector<std::string>& taskFiles);

    // The per-file analysis: read, score, append.
    void LeesFile(const std::string& path);

    int recordsWritten() const { return recordsWritten_; }

private:
    OutputFile output_;
    RunOptions options_;
    int recordsWritten_ = 0;
};

} // namespace dozorira
