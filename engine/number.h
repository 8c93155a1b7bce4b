#pragma once

#include <cstdint>
#include <string_view>

namespace dozorira {

// Reads a numeric field of a task file: blanks, tabs and line feeds anywhere are ignored, then
// an optional sign, digits, an optional "." with digits and an optional exponent are read up to
// the first character that cannot continue the number. "&H" and "&O" lead hexadecimal and octal
// integers. A field without a leading number reads as 0. The decimal separator is always ".",
// whatever the locale.
double readNumber(std::string_view field);

// Rounds to the nearest integer, an exact half to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// A numeric field rounded and checked against its table's element type; Overflow when it does not
// fit. The message quotes the field.
std::int16_t readInt16(std::string_view field);
std::uint8_t readByte(std::string_view field);

// 16-bit signed arithmetic of the counters, failing with Overflow outside -32768..32767.
std::int16_t checkedInt16(long long value, std::string_view what);

} // namespace dozorira
