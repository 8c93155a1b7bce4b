#pragma once

#include "tables.h"

#include <string>
#include <string_view>

namespace dozorira {

// Every line of the output file ends with CR CR LF, as statistics scripts written for it expect.
inline constexpr std::string_view LineEnd = "\r\r\n";

// An integer as a blank (or "-"), its digits and a trailing blank: 3 -> " 3 ", -3 -> "-3 ".
std::string formatNumber(long long value);

// numerator / denominator in the pattern "###0.000", rounded on the exact ratio with halves away
// from zero; never "-0.000".
std::string formatDecimal(long long numerator, long long denominator, char decimalSeparator);

// The column-name line for a file of clusterCount clusters.
std::string columnNames(int clusterCount);

// The subject: the file name after the last "/", less its four-character extension.
std::string subjectName(std::string_view path);

// The write stage: the record of a read and scored task file, preceded by the column-name line
// when asked. Composed whole, so that a failure writes nothing.
std::string composeRecord(const ClusterTables& tables, std::string_view path, bool withColumnNames,
                          char decimalSeparator);

} // namespace dozorira
