#include "text.h"

#include <array>
#include <cstring>

namespace dozorira::output {
namespace {

unsigned long long magnitude(long long value) {
    return value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                     : static_cast<unsigned long long>(value);
}

// "00" to "99", so that two digits take one step.
constexpr std::array<char, 200> TwoDigits = [] {
    std::array<char, 200> digits{};
    for (std::size_t i = 0; i < 100; ++i) {
        digits[2 * i] = static_cast<char>('0' + i / 10);
        digits[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return digits;
}();

char* writeTwoDigits(char* at, unsigned value) {
    std::memcpy(at, &TwoDigits[std::size_t{2} * value], 2);
    return at + 2;
}

// The decimal digits of value, without leading zeros. Nearly every number of a record has one or
// two.
char* writeDigits(char* at, unsigned long long value) {
    if (value < 10) {
        *at = static_cast<char>('0' + value);
        return at + 1;
    }
    if (value < 100) return writeTwoDigits(at, static_cast<unsigned>(value));
    std::size_t count = 3;
    for (unsigned long long rest = value / 1000; rest != 0; rest /= 10)
        ++count;
    char* const end = at + count;
    at = end;
    do { // last digit first
        *--at = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return end;
}

} // namespace

char* writeInteger(char* at, long long value) {
    if (value < 0) *at++ = '-';
    return writeDigits(at, magnitude(value));
}

char* writeDecimal(char* at, Thousandths value, char decimalSeparator) {
    const unsigned long long thousandths = magnitude(value.count);
    if (value.count < 0) *at++ = '-';
    at = writeDigits(at, thousandths / 1000);
    const auto fraction = static_cast<unsigned>(thousandths % 1000); // three digits, zeros kept
    at[0] = decimalSeparator;
    at[1] = static_cast<char>('0' + fraction / 100);
    return writeTwoDigits(at + 2, fraction % 100);
}

void appendInteger(std::string& out, long long value) {
    char buffer[NumberRoom];
    out.append(buffer, writeInteger(buffer, value));
}

void appendDecimal(std::string& out, Thousandths value, char decimalSeparator) {
    char buffer[NumberRoom];
    out.append(buffer, writeDecimal(buffer, value, decimalSeparator));
}

std::string formatDecimal(Thousandths value, char decimalSeparator) {
    std::string out;
    appendDecimal(out, value, decimalSeparator);
    return out;
}

} // namespace dozorira::output
