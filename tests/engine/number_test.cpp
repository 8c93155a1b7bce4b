#include "error.h"
#include "number.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace dozorira;
using dozorira::test::runErrorOf;

TEST(NumberReading, ReadsPlainAndDecimalNumbers) {
    EXPECT_EQ(readNumber("42"), 42);
    EXPECT_EQ(readNumber("-7"), -7);
    EXPECT_EQ(readNumber("+7"), 7);
    EXPECT_EQ(readNumber("6.5"), 6.5);
    EXPECT_EQ(readNumber(".5"), 0.5);
    EXPECT_EQ(readNumber("5."), 5);
    EXPECT_EQ(readNumber("1.5e2"), 150);
    EXPECT_EQ(readNumber("25E-1"), 2.5);
    EXPECT_EQ(readNumber("123456789012345678"), 123456789012345678.0);
}

TEST(NumberReading, IgnoresBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_EQ(readNumber(" 0"), 0);
    EXPECT_EQ(readNumber(" 1 2\t3\n"), 123);
    EXPECT_EQ(readNumber("- 4 . 5"), -4.5);
    // A carriage return is no blank: reading stops there.
    EXPECT_EQ(readNumber("1\r2"), 1);
}

TEST(NumberReading, StopsAtTheFirstCharacterThatCannotContinue) {
    EXPECT_EQ(readNumber("12abc"), 12);
    EXPECT_EQ(readNumber("3,5"), 3); // the decimal separator is always "."
    EXPECT_EQ(readNumber("1.2.3"), 1.2);
    EXPECT_EQ(readNumber("2e"), 2);
    EXPECT_EQ(readNumber("2e+"), 2);
    EXPECT_EQ(readNumber("--5"), 0);
    EXPECT_EQ(readNumber("abc"), 0);
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber("."), 0);
    EXPECT_EQ(readNumber("-"), 0);
}

TEST(NumberReading, ReadsHexadecimalAndOctalIntegers) {
    EXPECT_EQ(readNumber("&H1F"), 31);
    EXPECT_EQ(readNumber("&hff"), 255);
    EXPECT_EQ(readNumber("&O17"), 15);
    EXPECT_EQ(readNumber("&o78"), 7);
    EXPECT_EQ(readNumber("& H 10"), 16);
    EXPECT_EQ(readNumber("&H"), 0);
    EXPECT_EQ(readNumber("&X1"), 0);
    EXPECT_EQ(readNumber("-&H10"), 0);
}

TEST(NumberReading, ValuesBeyondADoubleOverflowOrReadAsZeroBySizeNotSpelling) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::string zeros330(330, '0'), zeros400(400, '0');
    const struct {
        std::string field;
        double value;
    } cases[] = {
        {"1e400", inf},
        {"-1e400", -inf},
        {"1e-400", 0},
        {"1" + zeros400 + "e-1", inf}, // 10^399, though its exponent is negative
        {"0." + zeros330 + "1", 0},    // 10^-331, though it has no exponent at all
        {"0." + zeros330 + "1e400", 1e69},
        {"1" + zeros400 + "e-390", 1e10},
        {"1e99999999999999999999", inf},
        {"1e-99999999999999999999", 0},
        {"0e99999", 0},
        {"0.50000000000000001", 0.5}, // the nearest double is the half itself
    };
    for (const auto& c : cases)
        EXPECT_EQ(readNumber(c.field), c.value) << c.field.substr(0, 40);
    EXPECT_THROW(readInt16("1" + zeros400 + "e-1"), RunError) << "no new cluster from 10^399";
    EXPECT_EQ(readByte("0.50000000000000001"), 0) << "the half rounds to the even 0";
}

TEST(NumberReading, RoundsHalvesToEven) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(-3.5), -4);
    EXPECT_EQ(roundHalfEven(0.4), 0);
    EXPECT_EQ(roundHalfEven(2.500001), 3);
    EXPECT_EQ(roundHalfEven(-0.6), -1);
}

TEST(NumberReading, ChecksTheRangeOfTheTarget) {
    EXPECT_EQ(readByte("6.5"), 6);
    EXPECT_EQ(readByte("7.5"), 8);
    EXPECT_EQ(readByte("255.4"), 255);
    EXPECT_EQ(readByte("-0.4"), 0);
    EXPECT_EQ(readInt16("-32768"), -32768);
    EXPECT_EQ(readInt16("32766.5"), 32766);
    EXPECT_THROW(readInt16("32767.5"), RunError) << "the half goes to the even 32768";
    for (const char* tooBig : {"255.5", "256", "-1", "300", "1e400"})
        EXPECT_EQ(runErrorOf([&] { readByte(tooBig); }).kind(), ErrorKind::Overflow) << tooBig;
    EXPECT_THROW(readInt16("32768"), RunError);
    EXPECT_THROW(readInt16("-32768.6"), RunError);
}

TEST(NumberReading, OverflowMessageQuotesTheField) {
    EXPECT_STREQ(runErrorOf([] { readByte("300"); }).what(),
                 "\"300\" does not fit 0..255 (Overflow)");
}
