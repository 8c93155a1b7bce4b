// Feeds arbitrary bytes through reading, scoring and composing one task file's record, and checks
// that the result is either a RunError or a record the output file can hold, with warnings that
// each stay on one line.
#include "analysis.h"
#include "dat_writer.h"
#include "error.h"
#include "scratch_file.h"
#include "warnings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace dozorira::fuzz;

std::size_t countTabs(std::string_view line) {
    std::size_t tabs = 0;
    for (char c : line)
        tabs += c == '\t';
    return tabs;
}

// "Subject\tClusters\t..." then "NAME\t N \t..."; both lines hold 2 + 5 * clusters fields, each
// ended by a tab, and nothing else may break a line.
void checkRecord(std::string_view bytes) {
    constexpr std::string_view lineEnd = "\r\r\n";
    const std::size_t first = bytes.find(lineEnd);
    require(first != std::string_view::npos);
    const std::string_view header = bytes.substr(0, first);
    const std::string_view record = bytes.substr(first + lineEnd.size());
    require(record.size() >= lineEnd.size() && record.ends_with(lineEnd));
    const std::string_view fields = record.substr(0, record.size() - lineEnd.size());
    for (std::string_view line : {header, fields}) {
        require(line.find_first_of("\r\n") == std::string_view::npos);
        require(line.ends_with('\t'));
    }
    require(fields.starts_with("pp\t"));
    const int clusters = std::atoi(fields.data() + 3);
    require(clusters >= 0 && clusters <= 255);
    const std::size_t expected = 2 + 5 * static_cast<std::size_t>(clusters);
    require(countTabs(header) == expected);
    require(countTabs(fields) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    writeScratch({reinterpret_cast<const char*>(data), size});
    const char separator = size % 2 == 0 ? '.' : ',';
    try {
        dozorira::ClusterTables tables;
        const dozorira::ParticipantResult result =
            dozorira::analyseTaskFile(scratchFile(), &tables);
        checkRecord(dozorira::output::columnNames(result.clusterCount()) +
                    dozorira::output::datRecord(result, separator));
        for (const dozorira::Warning& warning : dozorira::fileWarnings(tables, scratchFile()))
            require(warning.message().find_first_of("\r\n") == std::string::npos);
    } catch (const dozorira::RunError& e) {
        require(e.file() == scratchFile());
        require(std::string_view(e.what()).ends_with(")"));
    }
    // Anything else thrown escapes and is reported as a crash.
    return 0;
}
