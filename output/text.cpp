#include "text.h"

#include <charconv>

namespace dozorira::output {

void appendInteger(std::string& out, long long value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void appendDecimal(std::string& out, Thousandths value, char decimalSeparator) {
    const auto magnitude =
        static_cast<unsigned long long>(value.count < 0 ? -value.count : value.count);
    if (value.count < 0) out += '-';
    appendInteger(out, static_cast<long long>(magnitude / 1000));
    out += decimalSeparator;
    const unsigned long long fraction = magnitude % 1000;
    out += static_cast<char>('0' + fraction / 100);
    out += static_cast<char>('0' + fraction / 10 % 10);
    out += static_cast<char>('0' + fraction % 10);
}

std::string formatDecimal(Thousandths value, char decimalSeparator) {
    std::string out;
    appendDecimal(out, value, decimalSeparator);
    return out;
}

} // namespace dozorira::output
