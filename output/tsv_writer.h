#pragma once

#include "result_table.h"
#include "whole_file.h"

namespace dozorira::output {

// The table as plain tab-separated text for programs: one header line of column names, LF line
// ends, no tab after the last field, plain numbers with decimalSeparator, and an empty field for
// a missing value.
void writeTsv(const ResultTable& table, char decimalSeparator, files::WholeFile& out);

} // namespace dozorira::output
