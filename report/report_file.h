#pragma once

#include "request.h"

#include <ctime>
#include <string>
#include <vector>

namespace dozorira::report {

// What the batch command knows of a run beyond its task files.
struct RunFacts {
    std::vector<std::string> commandLine; // as the program received it
    std::time_t time = 0;                 // when the run was, or SOURCE_DATE_EPOCH
};

// A report for the output library to write beside a run's output: drawn by the report library,
// which cairo and pango come with, loaded by the first report a program draws, so that runs
// without a report never load them.
output::ReportRequest reportRequest(std::string path, RunFacts facts);

// The command line as a report shows it: arguments with blanks or shell characters in single
// quotes, those that messages would escape in double quotes with C escapes; past about
// mostCharacters, the number of arguments left out.
std::string shownCommandLine(const std::vector<std::string>& words,
                             std::size_t mostCharacters = 1200);

} // namespace dozorira::report
