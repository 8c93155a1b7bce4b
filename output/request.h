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
    // Copy the finished file into the output rather than rename it over the output (--in-place).
    bool inPlace = false;
};

// What a run that succeeded tells its user beyond the output: one line each.
using RunNotices = std::vector<std::string>;

// Reads and scores the task files, then writes their results, in order, whole: the output is
// found first, and the first failing task file or a failure of the output ends the run with its
// RunError, leaving the earlier output byte for byte as it was, unless the error says the output
// changed. Returns lines for the user: what the replaced output did not keep, and what readers of
// the output should know.
RunNotices writeOutput(const OutputRequest& request, const study::TaskFiles& taskFiles);

} // namespace dozorira::output
