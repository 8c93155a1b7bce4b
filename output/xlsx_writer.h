#pragma once

#include "result_table.h"
#include "whole_file.h"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace dozorira::output {

// The table as an Excel workbook (.xlsx) of one sheet: the header row of column names frozen,
// counts and three-decimal numbers (shown as "0.000") as numbers, the subject as text, and an
// empty cell for a missing value. The workbook is dated with the timestamp, or with the current
// time; the date is stored in UTC, so that two runs with one timestamp give identical bytes.
// Subject names must be UTF-8. The provenance lines, when there are any, fill a second sheet,
// "Provenance", one line a row, and the summary is the workbook's comments.
void writeXlsx(const ResultTable& table, std::optional<std::time_t> timestamp,
               files::WholeFile& out, const std::vector<std::string>& provenance = {},
               const std::string& summary = {});

} // namespace dozorira::output
