#include "number.h"

#include "error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace dozorira {
namespace {

bool isIgnored(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int digitValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// The field without the characters that number reading skips.
std::string significant(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field)
        if (!isIgnored(c)) out += c;
    return out;
}

double readRadixInteger(std::string_view digits, int radix, NumberQuirks& quirks) {
    double value = 0;
    std::size_t read = 0;
    for (; read < digits.size(); ++read) {
        const int d = digitValue(digits[read]);
        if (d >= radix) break;
        value = value * radix + d;
    }
    if (read == 0) {
        quirks.add(NumberQuirk::NoNumber);
        return 0;
    }
    quirks.add(NumberQuirk::HexOrOctal);
    if (read < digits.size()) quirks.add(NumberQuirk::TextAfter);
    return value;
}

std::size_t skipDigits(std::string_view s, std::size_t at) {
    while (at < s.size() && isDigit(s[at]))
        ++at;
    return at;
}

// Length of the longest prefix of s that reads as a decimal number, 0 when there is none.
std::size_t decimalPrefix(std::string_view s, bool& hasFractionOrExponent) {
    std::size_t at = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    const std::size_t intStart = at;
    at = skipDigits(s, at);
    bool anyDigit = at > intStart;
    hasFractionOrExponent = false;
    if (at < s.size() && s[at] == '.') {
        const std::size_t fracStart = at + 1;
        const std::size_t fracEnd = skipDigits(s, fracStart);
        anyDigit = anyDigit || fracEnd > fracStart;
        at = fracEnd;
        hasFractionOrExponent = true;
    }
    if (!anyDigit) return 0;
    if (at < s.size() && (s[at] == 'e' || s[at] == 'E')) {
        std::size_t expAt = at + 1;
        if (expAt < s.size() && (s[expAt] == '+' || s[expAt] == '-')) ++expAt;
        const std::size_t expEnd = skipDigits(s, expAt);
        if (expEnd > expAt) {
            at = expEnd;
            hasFractionOrExponent = true;
        }
    }
    return at;
}

// The power of ten of an exponent's digits, held at a bound far beyond any double's range.
long long exponentValue(std::string_view exponent) {
    constexpr long long Bound = 1'000'000'000;
    const bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.remove_prefix(1);
    long long value = 0;
    for (char c : exponent)
        value = std::min(Bound, value * 10 + (c - '0'));
    return negative ? -value : value;
}

// A number (without sign) that no double can hold, as the nearest a double can: infinity when it
// is too large, 0 when it is too small. Which of the two is told by the power of ten of its first
// significant digit, however many zeros and whatever exponent spell it.
double beyondRange(std::string_view number) {
    const std::size_t e = std::min(number.find_first_of("eE"), number.size());
    const std::string_view mantissa = number.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return 0;
    const auto place = static_cast<long long>(point) - static_cast<long long>(first);
    const long long power = (first < point ? place - 1 : place) +
                            exponentValue(number.substr(std::min(e + 1, number.size())));
    return power >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

double readDecimal(std::string_view s, NumberQuirks& quirks) {
    bool general = false;
    const std::size_t length = decimalPrefix(s, general);
    if (length == 0) {
        quirks.add(NumberQuirk::NoNumber);
        return 0;
    }
    if (length < s.size()) quirks.add(NumberQuirk::TextAfter);
    std::string_view number = s.substr(0, length);
    const bool negative = number[0] == '-';
    if (number[0] == '+' || negative) number.remove_prefix(1);

    double value = 0;
    if (!general && number.size() <= 15) {
        long long whole = 0;
        for (char c : number)
            whole = whole * 10 + (c - '0');
        value = static_cast<double>(whole);
    } else {
        const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
        if (result.ec == std::errc::result_out_of_range) value = beyondRange(number);
    }
    return negative ? -value : value;
}

template <typename T> T readChecked(std::string_view field, NumberQuirks& quirks) {
    if (const auto plain = plainInteger(field); plain && std::in_range<T>(*plain))
        return static_cast<T>(*plain);
    const double read = readNumber(field, quirks);
    const double value = roundHalfEven(read);
    if (value != read) quirks.add(NumberQuirk::Rounded);
    constexpr auto lo = std::numeric_limits<T>::min();
    constexpr auto hi = std::numeric_limits<T>::max();
    if (!(value >= lo && value <= hi))
        throw RunError(ErrorKind::Overflow, quoted(field) + " does not fit " + std::to_string(lo) +
                                                ".." + std::to_string(hi));
    return static_cast<T>(value);
}

} // namespace

double readNumber(std::string_view field) {
    NumberQuirks ignored;
    return readNumber(field, ignored);
}

double readNumber(std::string_view field, NumberQuirks& quirks) {
    if (const auto plain = plainInteger(field)) return *plain;
    const std::string s = significant(field);
    if (s.size() >= 2 && s[0] == '&') {
        const std::string_view digits = std::string_view(s).substr(2);
        if (s[1] == 'H' || s[1] == 'h') return readRadixInteger(digits, 16, quirks);
        if (s[1] == 'O' || s[1] == 'o') return readRadixInteger(digits, 8, quirks);
    }
    return readDecimal(s, quirks);
}

double roundHalfEven(double value) {
    const double below = std::floor(value);
    const double rest = value - below;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(below, 2.0) != 0.0)) return below + 1;
    return below;
}

std::int16_t readInt16(std::string_view field, NumberQuirks& quirks) {
    return readChecked<std::int16_t>(field, quirks);
}

std::uint8_t readByte(std::string_view field, NumberQuirks& quirks) {
    return readChecked<std::uint8_t>(field, quirks);
}

std::int16_t readInt16(std::string_view field) {
    NumberQuirks ignored;
    return readInt16(field, ignored);
}

std::uint8_t readByte(std::string_view field) {
    NumberQuirks ignored;
    return readByte(field, ignored);
}

void failInt16(long long value, std::string_view what) {
    throw RunError(ErrorKind::Overflow, std::string(what) + " would be " + std::to_string(value) +
                                            ", outside -32768..32767");
}

} // namespace dozorira
