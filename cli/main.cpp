#include "batch.h"
#include "standard_output.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <system_error>
#include <unistd.h>

int main(int argc, char** argv) {
    // A file-size limit then fails a write with "File too large", which the run reports, instead
    // of killing the program in the middle of it.
    std::signal(SIGXFSZ, SIG_IGN);
    const auto environment = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    dozorira::cli::DescriptorBuffer standardOutput(STDOUT_FILENO);
    std::ostream out(&standardOutput);
    int status = dozorira::cli::runBatch(std::vector<std::string>(argv, argv + argc), out,
                                         std::cerr, environment);
    if (const int error = standardOutput.flushAll(); error != 0) {
        std::cerr << "dozorira-batch: cannot write to standard output: "
                  << std::generic_category().message(error) << '\n';
        status = std::max(status, dozorira::cli::ExitRunError);
    }
    return status;
}
