#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace dozorira {

// How a numeric field departs from a plain number without any error, noted while it is read so
// that warnings need no second reading. Blanks, tabs and line feeds are no departure.
enum class NumberQuirk : unsigned {
    NoNumber,   // no leading number: reads as 0 (an empty field too)
    TextAfter,  // reading stopped before the end of the field
    HexOrOctal, // &H or &O
    Rounded,    // a fraction or exponent whose value is not whole
};
inline constexpr int NumberQuirkKinds = 4;

class NumberQuirks {
public:
    void add(NumberQuirk q) { bits_ |= bit(q); }
    void add(NumberQuirks other) { bits_ |= other.bits_; }
    bool has(NumberQuirk q) const { return (bits_ & bit(q)) != 0; }
    bool any() const { return bits_ != 0; }

private:
    static unsigned bit(NumberQuirk q) { return 1U << static_cast<unsigned>(q); }
    unsigned bits_ = 0;
};

// Reads a numeric field of a task file: blanks, tabs and line feeds anywhere are ignored, then
// an optional sign, digits, an optional "." with digits and an optional exponent are read up to
// the first character that cannot continue the number. "&H" and "&O" lead hexadecimal and octal
// integers. A field without a leading number reads as 0. The decimal separator is always ".",
// whatever the locale.
double readNumber(std::string_view field);
double readNumber(std::string_view field, NumberQuirks& quirks);

// A field of an optional sign and one to nine digits, as nearly every field is: it reads as
// readNumber reads it, without any quirk. Nothing for any other field.
inline std::optional<int> plainInteger(std::string_view field) {
    // One digit is the commonest field of all.
    if (field.size() == 1 && static_cast<unsigned>(field[0] - '0') <= 9) return field[0] - '0';
    std::size_t at = !field.empty() && (field[0] == '-' || field[0] == '+') ? 1 : 0;
    if (field.size() == at || field.size() - at > 9) return std::nullopt;
    int value = 0;
    for (; at < field.size(); ++at) {
        const auto digit = static_cast<unsigned>(field[at] - '0');
        if (digit > 9) return std::nullopt;
        value = value * 10 + static_cast<int>(digit);
    }
    return field[0] == '-' ? -value : value;
}

// Rounds to the nearest integer, an exact half to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// A numeric field rounded and checked against its table's element type; Overflow when it does not
// fit. The message quotes the field.
std::int16_t readInt16(std::string_view field);
std::uint8_t readByte(std::string_view field);
std::int16_t readInt16(std::string_view field, NumberQuirks& quirks);
std::uint8_t readByte(std::string_view field, NumberQuirks& quirks);

[[noreturn]] void failInt16(long long value, std::string_view what);

// 16-bit signed arithmetic of the counters, failing with Overflow outside -32768..32767.
inline std::int16_t checkedInt16(long long value, std::string_view what) {
    if (!std::in_range<std::int16_t>(value)) failInt16(value, what);
    return static_cast<std::int16_t>(value);
}

} // namespace dozorira
