#pragma once

#include "table.h"
#include "whole_file.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dozorira {

struct WholeRunOptions {
    Layout layout = Layout::Wide;
    // SPSS and Stata files hold their text as UTF-8, so there a subject name must be UTF-8.
    bool utf8Subjects = false;
};

// Renders a run's table into the output; File errors come from the WholeFile.
using TableRenderer = std::function<void(const ResultTable&, WholeFile&)>;

// A run that writes its output whole: every task file is analysed first, then the table is
// rendered into a WholeFile. The first failing task file ends the run with its RunError, and on
// any failure the earlier output stays byte for byte as it was.
void runWhole(const std::string& outputPath, const std::vector<std::string>& taskFiles,
              WholeRunOptions options, const TableRenderer& render);

// Whether text is well-formed UTF-8: no stray or missing continuation bytes, no overlong forms,
// no surrogates, nothing past U+10FFFF.
bool isUtf8(std::string_view text);

} // namespace dozorira
