#pragma once

#include "format.h"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace dozorira::output {

// One output file to write from a run's task files, in every detail the formats can differ in.
struct OutputRequest {
    Format format = Format::Dat;
    Layout layout = Layout::Wide;
    std::string path;
    bool withColumnNames = true; // only where the format has the switch
    char decimalSeparator = '.'; // only in formats that hold text
    // The time a timestamped format carries, shown in UTC; nothing for the current time.
    std::optional<std::time_t> timestamp;
};

// Reads, scores and writes the task files, in order, as the request's format writes them. The
// first failing task file ends the run with its RunError.
void writeOutput(const OutputRequest& request, const std::vector<std::string>& taskFiles);

} // namespace dozorira::output
