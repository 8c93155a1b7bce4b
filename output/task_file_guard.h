#pragma once

#include "target.h"
#include "task_files.h"

#include <string>
#include <string_view>
#include <vector>

namespace dozorira::output {

// A File error when the output is one of the task files, by whatever path; writing it would
// destroy that task file.
void refuseTaskFileAsOutput(const std::string& outputPath,
                            const std::vector<std::string>& taskFiles);
// The same for an output found already, by the looks taken at the task files; role names the
// output in the message ("the report file is this task file").
void refuseTaskFileAsOutput(const files::OutputTarget& target, const study::TaskFiles& taskFiles,
                            std::string_view role = "output file");

// A File error when two of a run's files are one, by whatever path: "the report file is the
// output file; choose another report file".
void refuseOneFileForTwo(const files::OutputTarget& file, std::string_view role,
                         const files::OutputTarget& other, std::string_view otherRole);
// A File error when the report of --check would go to standard output, where the check prints
// its lines.
void refuseStandardOutputAsReport(const files::OutputTarget& report);

} // namespace dozorira::output
