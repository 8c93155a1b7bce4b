#pragma once

#include "result.h"

#include <string>
#include <string_view>
#include <vector>

namespace dozorira::files {
class WholeFile;
}

namespace dozorira::output {

// The .dat: tab-separated text in which every field is followed by a tab and every line ends with
// CR CR LF, as statistics scripts written for it expect.
inline constexpr std::string_view LineEnd = "\r\r\n";

// An integer as a blank (or "-"), its digits and a trailing blank: 3 -> " 3 ", -3 -> "-3 ".
std::string formatNumber(long long value);

// The column-name line for a file of clusterCount clusters.
std::string columnNames(int clusterCount);

// The record of one participant, byte for byte as the .dat holds it.
std::string datRecord(const ParticipantResult& result, char decimalSeparator);

struct DatOptions {
    bool withColumnNames = true; // "Including variable names"
    char decimalSeparator = '.';
};

// The .dat of a run at once: the column names of the first file's clusters, then every record.
void writeDat(const std::vector<ParticipantResult>& results, DatOptions options,
              files::WholeFile& out);

} // namespace dozorira::output
