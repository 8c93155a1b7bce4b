#pragma once

#include "format.h"
#include "task_files.h"

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
    std::string manifest; // where the run's manifest goes; empty for none
};

// Reads and scores the task files, then writes their results, in order, whole: the output is
// found first, and the first failing task file or a failure of the output ends the run with its
// RunError, leaving the earlier output byte for byte as it was. A manifest, when asked for, is
// found with the output and written whole after it, by the same rules.
void writeOutput(const OutputRequest& request, const study::TaskFiles& taskFiles);

} // namespace dozorira::output
