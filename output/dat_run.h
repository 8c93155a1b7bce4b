#pragma once

#include "dat_writer.h"
#include "record_file.h"

#include <string>
#include <vector>

namespace dozorira::output {

// A .dat written record by record, as the window writes it: the output is emptied, then each
// task file's record is appended as soon as that file is read. The first error ends the run with
// a RunError; the output then holds the whole records of the files before the failing one, and
// nothing of it.
class DatRun {
public:
    DatRun(std::string OutputPath, DatOptions options);

    void run(const std::vector<std::string>& taskFiles);

    // The per-file analysis: read, score, append.
    void LeesFile(const std::string& path);

    int recordsWritten() const { return recordsWritten_; }

private:
    files::RecordFile output_;
    DatOptions options_;
    int recordsWritten_ = 0;
};

} // namespace dozorira::output
