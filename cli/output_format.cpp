#include "output_format.h"

#include "error.h"
#include "stats_file.h"
#include "tsv_writer.h"
#include "whole_run.h"

#include <CLI/Error.hpp>
#include <algorithm>
#include <charconv>

namespace dozorira::cli {
namespace {

constexpr long long LatestTimestamp = 253402300799; // 9999-12-31 23:59:59 UTC

bool endsWithExtension(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) return false;
    const std::string_view end = name.substr(name.size() - extension.size());
    return std::equal(end.begin(), end.end(), extension.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b;
    });
}

Format formatOfName(std::string_view output) {
    if (endsWithExtension(output, ".tsv")) return Format::Tsv;
    if (endsWithExtension(output, ".sav")) return Format::Sav;
    if (endsWithExtension(output, ".dta")) return Format::Dta;
    return Format::Dat;
}

Format formatNamed(std::string_view name) {
    if (name == "tsv") return Format::Tsv;
    if (name == "sav") return Format::Sav;
    if (name == "dta") return Format::Dta;
    return Format::Dat;
}

} // namespace

Format chooseFormat(const OutputChoice& choice) {
    const Format format =
        choice.format.empty() ? formatOfName(choice.output) : formatNamed(choice.format);
    if (format == Format::Dat && choice.longLayout)
        throw CLI::ValidationError("--long needs a tsv, sav or dta output (--format, or an "
                                   "OUTPUT ending in .tsv, .sav or .dta)");
    if (format != Format::Dat && choice.noHeader)
        throw CLI::ValidationError("--no-header applies to dat output only; tsv, sav and dta "
                                   "always name their columns");
    if ((format == Format::Sav || format == Format::Dta) && choice.separatorGiven)
        throw CLI::ValidationError("--decimal-separator does not apply to sav and dta output, "
                                   "which hold numbers rather than text");
    return format;
}

std::optional<std::time_t> sourceDate(const std::string& value) {
    if (value.empty()) return std::nullopt;
    long long seconds = -1;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, seconds);
    if (value[0] == '-' || error != std::errc() || stop != end || seconds > LatestTimestamp)
        throw CLI::ValidationError("SOURCE_DATE_EPOCH must be a whole number of seconds since "
                                   "1970 (at most " +
                                   std::to_string(LatestTimestamp) + "), not " +
                                   dozorira::quoted(value));
    return static_cast<std::time_t>(seconds);
}

void writeWhole(Format format, bool longLayout, char decimalSeparator,
                std::optional<std::time_t> timestamp, const std::string& output,
                const std::vector<std::string>& taskFiles) {
    const WholeRunOptions options{longLayout ? Layout::Long : Layout::Wide, format != Format::Tsv};
    const auto render = [&](const ResultTable& table, WholeFile& out) {
        if (format == Format::Tsv)
            writeTsv(table, decimalSeparator, out);
        else
            stats::writeStatsFile(
                table, format == Format::Sav ? stats::Package::Spss : stats::Package::Stata,
                timestamp, out);
    };
    runWhole(output, taskFiles, options, render);
}

} // namespace dozorira::cli
