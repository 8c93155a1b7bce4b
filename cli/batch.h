#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace dozorira::cli {

// Exit statuses of the batch command.
inline constexpr int ExitOk = 0;
inline constexpr int ExitRunError = 1;
inline constexpr int ExitUsage = 2;
// The output holds the new study (or, written in place, part of it), but something after could
// not be done or confirmed: the message says what.
inline constexpr int ExitOutputChanged = 3;

// Looks up an environment variable; empty when unset.
using Environment = std::function<std::string(const char* name)>;

// The batch command: arguments as main() received them, output and error streams, and the
// environment from which the locale's decimal separator is taken. Returns the exit status.
int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const Environment& environment);

} // namespace dozorira::cli
