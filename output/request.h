#pragma once

#include "check.h"
#include "format.h"
#include "task_files.h"
#include "whole_file.h"

#include <ctime>
#include <functional>
#include <optional>
#include <span>
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
    // Neither --format nor the output's name chose the format: --check checks for the .dat.
    bool datForWantOfFormat = false;
    std::string manifest; // where the run's manifest goes; empty for none
};

// What a run that succeeded tells its user beyond the output: one line each.
using RunNotices = std::vector<std::string>;

// What a run gives its study report: the results of the task files that passed and what --check
// says of all of them, for the run's output format.
struct CheckedRun {
    Format format = Format::Dat;
    bool checkOnly = false; // --check: the report is all the run writes
    std::span<const ParticipantResult> results;
    std::span<const std::string> checkLines; // every line --check prints, its summary last
    CheckCounts counts;
};

// A study report that a run writes beside its output (--report): found before the output's task
// files are read, refused as the output would be, drawn by write and put in place after the
// output.
struct ReportRequest {
    std::string path;
    std::function<void(const CheckedRun&, files::WholeFile&)> write;
};

// Reads and scores the task files, then writes their results, in order, whole: the output is
// found first, and the first failing task file or a failure of the output ends the run with its
// RunError, leaving the earlier output byte for byte as it was, unless the error says the output
// changed. So do the report and the manifest, when they are asked for: both are found with the
// output and put in place after it, by the same rules. Returns lines for the user: what the
// replaced output did not keep, and what readers of the output should know.
RunNotices writeOutput(const OutputRequest& request, const study::TaskFiles& taskFiles,
                       const ReportRequest* report = nullptr);

// --check: gives print every line it finds of the task files for the request's format and
// layout, in order, the summary last, and writes the report of those that pass when one is asked
// for, and the manifest when every file passed. The request's path, when given, is refused as a
// task file.
CheckCounts checkStudy(const OutputRequest& request, const study::TaskFiles& taskFiles,
                       const LineSink& print, const ReportRequest* report = nullptr);

} // namespace dozorira::output
