#pragma once

#include <string>
#include <vector>

namespace dozorira::output {

// A File error when the output is one of the task files, by whatever path; writing it would
// destroy that task file.
void refuseTaskFileAsOutput(const std::string& outputPath,
                            const std::vector<std::string>& taskFiles);

} // namespace dozorira::output
