#pragma once

#include "result_table.h"
#include "whole_file.h"

namespace dozorira::output {

// The table as csv (RFC 4180) for spreadsheets: a header line of column names, CR LF line ends,
// an empty field for a missing value, and a field quoted only when it holds the field
// separator, a quote or a line break. With "." as decimal separator the fields are separated by
// commas; with "," by semicolons, as spreadsheets in decimal-comma locales expect.
void writeCsv(const ResultTable& table, char decimalSeparator, files::WholeFile& out);

} // namespace dozorira::output
