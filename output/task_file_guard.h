#pragma once

#include "target.h"
#include "task_files.h"

#include <string>
#include <vector>

namespace dozorira::output {

// A File error when the output is one of the task files, by whatever path; writing it would
// destroy that task file.
void refuseTaskFileAsOutput(const std::string& outputPath,
                            const std::vector<std::string>& taskFiles);
// The same for an output found already, by the looks taken at the task files.
void refuseTaskFileAsOutput(const files::OutputTarget& target, const study::TaskFiles& taskFiles);

} // namespace dozorira::output
