#pragma once

#include <string>

namespace dozorira::output {

// libxlsxwriter keeps a sheet of many thousand rows in little memory only by writing its texts
// as inline strings, and R's openxlsx reads those wrongly: "a&b" comes back as "a&amp;b", a
// leading blank as markup. Shared strings are what every reader handles. This copies the
// workbook that the library wrote at from to to, with each inline string of its sheet made a
// shared string, and the part that holds them added and registered; the other parts are copied
// as they are. It reads and writes the zip through minizip, loaded by the first run that needs
// it, a piece at a time, so that its memory grows with the distinct texts only. A File error
// naming output when either zip cannot be read or written.
void shareStrings(const std::string& from, const std::string& to, const std::string& output);

} // namespace dozorira::output
