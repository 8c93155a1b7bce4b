#pragma once

#include "result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace dozorira::report {

// What the batch command gives the report library of a run. The library is built with the
// command, from the same sources by the same compiler, so both sides agree on these types. The
// views point into the command's memory for the length of the call: the library neither keeps
// nor frees them, and no exception crosses between the two.
struct ReportInput {
    std::string_view program;     // "dozorira-batch 1.0.0"
    std::string_view commandLine; // as given, each argument shown as messages show names
    std::int64_t time = 0;        // of the run, in seconds since 1970; shown in UTC
    std::string_view checkedFor;  // "a .dat file": the output whose rules --check applied
    bool checkOnly = false;       // --check: the report is all the run writes
    std::span<const ParticipantResult> results; // of the task files that passed, in order
    std::span<const std::string> subjects;      // their subjects, shown as messages show names
    std::span<const std::string> checkLines;    // what --check prints, its summary last
    std::size_t taskFiles = 0;
    std::size_t failed = 0;
    std::size_t warned = 0;
};

// Takes the bytes of the report as they come; false once they cannot be written.
using ByteSink = bool (*)(void* context, const unsigned char* bytes, unsigned int size);

// The one function of the report library (DOZORIRA_REPORT_ENTRY, named after the release so that
// a library of another release is never called): draws the report of input into sink. It returns
// true, or false with what went wrong in message.
using WriteReport = bool(const ReportInput* input, ByteSink sink, void* context, char* message,
                         std::size_t messageSize);

} // namespace dozorira::report
