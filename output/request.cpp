#include "request.h"

#include "dat_run.h"
#include "whole_run.h"

namespace dozorira::output {

void writeOutput(const OutputRequest& request, const std::vector<std::string>& taskFiles) {
    if (request.format == Format::Dat) {
        DatRun run(request.path, {request.withColumnNames, request.decimalSeparator});
        run.run(taskFiles);
        return;
    }
    runWhole(request, taskFiles);
}

} // namespace dozorira::output
