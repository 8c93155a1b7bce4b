#pragma once

#include "output_file.h"

#include <string>
#include <vector>

namespace dozorira {

struct RunOptions {
    bool withColumnNames = true; // "Including variable names"
    char decimalSeparator = '.';
};

// The whole analysis of one task file, without writing: read, scored and composed into the
// bytes its record adds to the output (with the column-name line when asked). Errors name the
// file.
std::string analyseTaskFile(const std::string& path, bool withColumnNames, char decimalSeparator);

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
    void refuseTaskFileAsOutput(const std::vector<std::string>& taskFiles) const;

    OutputFile output_;
    RunOptions options_;
    int recordsWritten_ = 0;
};

} // namespace dozorira
