#pragma once

#include "result_table.h"
#include "whole_file.h"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace dozorira::output {

enum class Package {
    Spss,  // an SPSS system file (.sav)
    Stata, // a Stata file of format 118 (.dta)
};

// The table as a file the package opens directly: a label on every variable and on the file,
// display formats F8.0 and F9.3 (%8.0f and %9.3f, wide enough for 32767.000), missing values as
// the package's own missing value, and the subject as a string as wide as the longest name. With
// a timestamp the file is stamped with that time, shown in UTC, so that two runs give identical
// bytes in every time zone; otherwise with the current local time. Subject names must be UTF-8.
// The notes go into SPSS's document lines, which hold 80 bytes each, or Stata's notes.
void writeStatsFile(const ResultTable& table, Package package, std::optional<std::time_t> timestamp,
                    files::WholeFile& out, const std::vector<std::string>& notes = {});

// The notes of an SPSS or Stata file, read by ReadStat; a File error naming the file when it
// cannot be read.
std::vector<std::string> notesOf(const std::string& path, Package package);

} // namespace dozorira::output
