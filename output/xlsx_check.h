#pragma once

#include <cstddef>
#include <string>

namespace dozorira::output {

// libxlsxwriter composes every part of a workbook in a temporary file and does not notice when
// writing one fails (a full temporary folder, a file size limit): it then zips up a part cut
// short and reports success. This reads a written workbook back: every XML part must end by
// closing the element it began with, the sheet must hold sheetRows rows, and a second sheet, when
// there is one, secondSheetRows. Returns the name of the first part that does not, or why the
// workbook cannot be read; empty when it is whole.
std::string damagedPart(const std::string& path, std::size_t sheetRows,
                        std::size_t secondSheetRows = 0);

} // namespace dozorira::output
