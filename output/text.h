#pragma once

#include "result.h"

#include <string>

namespace dozorira::output {

// Integers and three-decimal numbers as text, the same in every text format and every locale.

void appendInteger(std::string& out, long long value);

// In the pattern "###0.000": 4667 thousandths -> "4.667"; never "-0.000".
void appendDecimal(std::string& out, Thousandths value, char decimalSeparator);
std::string formatDecimal(Thousandths value, char decimalSeparator);

} // namespace dozorira::output
