#pragma once

#include "table.h"
#include "whole_file.h"

namespace dozorira {

// The table as plain tab-separated text for programs: one header line of column names, LF line
// ends, no tab after the last field, plain numbers with decimalSeparator, and an empty field for
// a missing value.
void writeTsv(const ResultTable& table, char decimalSeparator, WholeFile& out);

} // namespace dozorira
