#pragma once

#include "result.h"

#include <string>
#include <string_view>

namespace dozorira {

// Every line of the output file ends with CR CR LF, as statistics scripts written for it expect.
inline constexpr std::string_view LineEnd = "\r\r\n";

// An integer as a blank (or "-"), its digits and a trailing blank: 3 -> " 3 ", -3 -> "-3 ".
std::string formatNumber(long long value);

// In the pattern "###0.000": 4667 thousandths -> "4.667"; never "-0.000".
std::string formatDecimal(Thousandths value, char decimalSeparator);

// The column-name line for a file of clusterCount clusters.
std::string columnNames(int clusterCount);

// The record of one participant, byte for byte as the output file holds it.
std::string datRecord(const ParticipantResult& result, char decimalSeparator);

} // namespace dozorira
