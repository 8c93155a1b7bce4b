#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dozorira::cli {

enum class Format { Dat, Tsv, Sav, Dta };

// What the command line asks for beyond the .dat: a usage error when the combination makes no
// sense, so that nothing is read or written.
struct OutputChoice {
    std::string format; // --format, empty when not given
    std::string output;
    bool longLayout = false;
    bool noHeader = false;
    bool separatorGiven = false;
};

// The format: --format, else the output's extension (.tsv, .sav or .dta in any case), else dat.
// Throws CLI::ValidationError for options that do not apply to it.
Format chooseFormat(const OutputChoice& choice);

// SOURCE_DATE_EPOCH, when set: whole seconds since 1970 up to the end of the year 9999, the
// latest time the packages' date fields can show. Throws CLI::ValidationError otherwise.
std::optional<std::time_t> sourceDate(const std::string& value);

// A tsv, sav or dta run, written whole; fails with the RunError that ended it.
void writeWhole(Format format, bool longLayout, char decimalSeparator,
                std::optional<std::time_t> timestamp, const std::string& output,
                const std::vector<std::string>& taskFiles);

} // namespace dozorira::cli
