#pragma once

#include "result.h"

#include <cstddef>
#include <string>

namespace dozorira::output {

// Integers and three-decimal numbers as text, the same in every text format and every locale.

// The most characters that writeInteger or writeDecimal write: the digits of any long long, a
// sign, a separator and three decimals.
inline constexpr std::size_t NumberRoom = 32;

// Each writes at at, which has NumberRoom characters of room, and returns the end of what it
// wrote: for texts composed in place, thousands of short numbers at a time.
char* writeInteger(char* at, long long value);
// In the pattern "###0.000": 4667 thousandths -> "4.667"; never "-0.000".
char* writeDecimal(char* at, Thousandths value, char decimalSeparator);

void appendInteger(std::string& out, long long value);
void appendDecimal(std::string& out, Thousandths value, char decimalSeparator);
std::string formatDecimal(Thousandths value, char decimalSeparator);

} // namespace dozorira::output
