#include "text.h"

namespace dozorira::output {
namespace {

// Room for the digits of any long long, a sign, a separator and three decimals.
constexpr std::size_t NumberRoom = 32;

// The decimal digits of value, written backwards so that they end at end; their first comes back.
char* digitsEndingAt(char* end, unsigned long long value) {
    do {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return end;
}

unsigned long long magnitude(long long value) {
    return value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                     : static_cast<unsigned long long>(value);
}

} // namespace

// Each number is composed in a small buffer and appended at once: records are thousands of short
// numbers.
void appendInteger(std::string& out, long long value) {
    char buffer[NumberRoom];
    char* const end = buffer + NumberRoom;
    char* first = digitsEndingAt(end, magnitude(value));
    if (value < 0) *--first = '-';
    out.append(first, static_cast<std::size_t>(end - first));
}

void appendDecimal(std::string& out, Thousandths value, char decimalSeparator) {
    char buffer[NumberRoom];
    char* const end = buffer + NumberRoom;
    const unsigned long long thousandths = magnitude(value.count);
    const auto fraction = static_cast<unsigned>(thousandths % 1000); // three digits, zeros kept
    char* first = end - 4;
    first[0] = decimalSeparator;
    first[1] = static_cast<char>('0' + fraction / 100);
    first[2] = static_cast<char>('0' + fraction / 10 % 10);
    first[3] = static_cast<char>('0' + fraction % 10);
    first = digitsEndingAt(first, thousandths / 1000);
    if (value.count < 0) *--first = '-';
    out.append(first, static_cast<std::size_t>(end - first));
}

std::string formatDecimal(Thousandths value, char decimalSeparator) {
    std::string out;
    appendDecimal(out, value, decimalSeparator);
    return out;
}

} // namespace dozorira::output
