#pragma once

#include "request.h"

#include <string>
#include <vector>

namespace dozorira::output {

// A run that writes its output whole: every task file is analysed first, then the results are
// rendered in the request's format into a WholeFile. The first failing task file ends the run
// with its RunError, and on any failure the earlier output stays byte for byte as it was.
void runWhole(const OutputRequest& request, const std::vector<std::string>& taskFiles);

} // namespace dozorira::output
