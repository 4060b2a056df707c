#include "SizeConversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

namespace quimbel {
namespace {

// The number written into a field for a given text, the way a window does it.
std::string Written(std::optional<double> value) { return TextFromNumber(value); }

double ReadOrZero(const std::string& text) { return NumberFromText(text).value_or(0.0); }

// Every table runs once in the "C" locale and once in a locale whose decimal
// separator is ",": the toolkit calls setlocale(LC_ALL, ""), and reading or
// writing must not follow it.
class ConversionTables : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const std::string name = GetParam();
        if (name == "C") {
            ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
            return;
        }
#ifdef _WIN32
        // Windows' C library reads no LC_ALL and names locales its own way.
        ASSERT_NE(std::setlocale(LC_ALL, "German_Germany.1252"), nullptr);
#else
        ::setenv("LC_ALL", name.c_str(), 1);
        ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr)
            << "locale " << name << " is not installed; the test setup generates it";
#endif
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    }
    void TearDown() override {
#ifndef _WIN32
        ::unsetenv("LC_ALL");
#endif
        std::setlocale(LC_ALL, "C");
    }
};

struct InchRow {
    const char* inches;
    const char* diagonal;
    const char* longSide;
    const char* shortSide;
};

TEST_P(ConversionTables, InchesToCentimetres) {
    const InchRow rows[] = {
        {"20", "49.4", "43.5", "26.4"},
        {"1", "2.47", "2.175", "1.32"},
        {"17", "41.99", "36.975", "22.44"},
        {"55", "135.85", "119.625", "72.6"},
        {"21.5", "53.105", "46.7625", "28.38"},
        {"0.5", "1.235", "1.0875", "0.66"},
        {"-5", "-12.35", "-10.875", "-6.6"},
        {"17in", "41.99", "36.975", "22.44"},
        {"abc", "0", "0", "0"},
        {"", "0", "0", "0"},
        {" ", "0", "0", "0"},
        {"\n17", "41.99", "36.975", "22.44"},
        {"１７", "41.99", "36.975", "22.44"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.inches);
        const ScreenSize size = InchesToCentimetres(ReadOrZero(row.inches));
        EXPECT_EQ(Written(size.diagonal), row.diagonal);
        EXPECT_EQ(Written(size.longSide), row.longSide);
        EXPECT_EQ(Written(size.shortSide), row.shortSide);
    }
}

TEST_P(ConversionTables, CentimetresToInches) {
    const std::pair<const char*, const char*> rows[] = {
        {"49.4", "20"},
        {"100", "40.4858299595142"},
        {"1", "0.404858299595142"},
        {"2.47", "1"},
        {"41.99", "17"},
        // These four fix the order of the arithmetic: product first, then
        // the division, by the stored constants.
        {"42", "17.004048582996"},
        {"21", "8.50202429149798"},
        {"138", "55.8704453441296"},
        {"121", "48.9878542510121"},
        {"", "0"},
        {"20,5", "8.09716599190283"},
    };
    for (const auto& [centimetres, inches] : rows) {
        SCOPED_TRACE(centimetres);
        EXPECT_EQ(Written(CentimetresToInches(ReadOrZero(centimetres))), inches);
    }
}

TEST_P(ConversionTables, ReadingIgnoresLocaleSeparator) {
    EXPECT_EQ(NumberFromText("21.5"), 21.5);
    EXPECT_EQ(NumberFromText("20,5"), 20.0);
    EXPECT_EQ(TextFromNumber(21.5), "21.5");
    EXPECT_EQ(TextFromNumber(2.47e-5), "2.47E-05");
}

INSTANTIATE_TEST_SUITE_P(Locales, ConversionTables, testing::Values("C", "de_DE.UTF-8"),
                         [](const auto& info) {
                             return std::string(info.param == std::string("C") ? "C" : "German");
                         });

TEST(Constants, HoldTheExactDoubles) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(static_cast<double>(ReferenceInches)),
              0x4034000000000000u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(DiagonalCmAtReference), 0x4048B33333333333u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(LongSideCmAtReference), 0x4045C00000000000u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(ShortSideCmAtReference), 0x403A666666666666u);
}

// A precomputed ratio, or dividing first, writes other texts for these rows;
// this keeps the table above honest about what it guards.
TEST(Constants, OtherOrdersOfArithmeticWriteOtherTexts) {
    EXPECT_EQ(TextFromNumber(42.0 / 2.47), "17.0040485829959");
    EXPECT_EQ(TextFromNumber(21.0 * (20.0 / 49.4)), "8.50202429149797");
    EXPECT_EQ(TextFromNumber(138.0 / 2.47), "55.8704453441295");
    EXPECT_EQ(TextFromNumber(121.0 / 49.4 * 20.0), "48.9878542510122");
}

TEST(Conversion, HidesTheLastBitsOfADouble) {
    const ScreenSize size = InchesToCentimetres(17.0);
    EXPECT_EQ(size.diagonal, 41.989999999999995);
    EXPECT_EQ(TextFromNumber(CentimetresToInches(2.47)), "1");
    EXPECT_EQ(CentimetresToInches(2.47), 1.0000000000000002);
}

TEST(Conversion, OverflowEmptiesOnlyTheSideThatOverflows) {
    const ScreenSize size = InchesToCentimetres(ReadOrZero("5e306"));
    EXPECT_FALSE(size.diagonal.has_value());
    EXPECT_FALSE(size.longSide.has_value());
    EXPECT_EQ(Written(size.shortSide), "6.6E+306");
    EXPECT_EQ(Written(size.diagonal), "");

    const ScreenSize negative = InchesToCentimetres(-5e306);
    EXPECT_FALSE(negative.diagonal.has_value());
    EXPECT_EQ(Written(negative.shortSide), "-6.6E+306");

    EXPECT_FALSE(CentimetresToInches(1e307).has_value());
    EXPECT_EQ(Written(CentimetresToInches(8e306)), "3.23886639676113E+306");
}

TEST(Conversion, JustBelowOverflowStillComputes) {
    // About 3.639E+306 inches is the last diagonal whose product fits.
    EXPECT_TRUE(InchesToCentimetres(3.6e306).diagonal.has_value());
    EXPECT_FALSE(InchesToCentimetres(3.7e306).diagonal.has_value());
}

struct ReadRow {
    const char* text;
    std::optional<double> value;
};

TEST(Reading, FollowsTheReadingRule) {
    const ReadRow rows[] = {
        {"", 0.0},
        {"   ", 0.0},
        {"abc", 0.0},
        {".5", 0.5},
        {"5.", 5.0},
        {".", 0.0},
        {"+", 0.0},
        {"-", 0.0},
        {"+5", 5.0},
        {"-5", -5.0},
        {"  42", 42.0},
        {"17in", 17.0},
        {"20,5", 20.0},
        {"1.5.3", 1.5},
        {"1e3", 1000.0},
        {"1E+3", 1000.0},
        {"2.5e-1", 0.25},
        {"1e", 1.0},
        {"1e+", 1.0},
        {"1ex", 1.0},
        {"e5", 0.0},
        {"007", 7.0},
        {"0.1", 0.1},
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {"4.9e-324", std::numeric_limits<double>::denorm_min()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(NumberFromText(row.text), row.value);
    }
}

// What the reading rule leaves open, chosen for people typing into a
// multi-line field with a Chinese input method.
TEST(Reading, ChoicesForFieldText) {
    const ReadRow rows[] = {
        // Line breaks, tabs and ideographic spaces in front are blanks.
        {"\r\n\t 17", 17.0},
        {"\n\n21.5", 21.5},
        {"\xE3\x80\x80"
         "8",
         8.0},
        // Full-width digits, point, signs and exponent letter.
        {"１７", 17.0},
        {"２１．５", 21.5},
        {"－３", -3.0},
        {"＋３", 3.0},
        {"１Ｅ２", 100.0},
        {"１ｅ－１", 0.1},
        {"1７", 17.0},
        // A blank inside a number ends it.
        {"1 000", 1.0},
        {"- 5", 0.0},
        {"17\n5", 17.0},
        // No other bases, no other exponent letters.
        {"0x1A", 0.0},
        {"&H10", 0.0},
        {"1d5", 1.0},
        {"1D5", 1.0},
        // Full-width letters that are no part of a number end it.
        {"１７ｉｎ", 17.0},
        {"１７吋", 17.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(NumberFromText(row.text), row.value);
    }
}

TEST(Reading, BeyondTheDoubleRange) {
    EXPECT_EQ(NumberFromText("1e309"), std::nullopt);
    EXPECT_EQ(NumberFromText("-1e309"), std::nullopt);
    EXPECT_EQ(NumberFromText("1.7976931348623159e308"), std::nullopt);
    EXPECT_EQ(NumberFromText("1" + std::string(400, '0')), std::nullopt);
    EXPECT_EQ(NumberFromText("1e99999999999999999999999999"), std::nullopt);
    // Too small for a double: zero of its sign, and no failure.
    for (const char* tiny : {"1e-400", "2e-324", "1e-99999999999999999999"}) {
        SCOPED_TRACE(tiny);
        const auto value = NumberFromText(tiny);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, 0.0);
        EXPECT_FALSE(std::signbit(*value));
    }
    const auto negativeTiny = NumberFromText("-1e-400");
    ASSERT_TRUE(negativeTiny.has_value());
    EXPECT_TRUE(std::signbit(*negativeTiny));
    // A zero mantissa stays zero whatever its exponent says.
    EXPECT_EQ(NumberFromText("0e99999"), 0.0);
}

TEST(Reading, LongNumbersRoundCorrectly) {
    // A thousand digits that only the far end decides.
    const std::string ones = "1." + std::string(1000, '0') + "1";
    EXPECT_EQ(NumberFromText(ones), 1.0);
    // Exactly halfway between 1 and the next double, then a little above it:
    // only the digit after many zeros says which way to round.
    const std::string half = "1.00000000000000011102230246251565404236316680908203125";
    EXPECT_EQ(NumberFromText(half), 1.0);
    EXPECT_EQ(NumberFromText(half + std::string(900, '0') + "1"), 1.0000000000000002);
    // Many leading zeros, before and after the point.
    EXPECT_EQ(NumberFromText(std::string(5000, '0') + "17"), 17.0);
    EXPECT_EQ(NumberFromText("0." + std::string(2000, '0') + "5e2003"), 500.0);
    // A point shifted further than any exponent a double can have, and an
    // exponent that shifts it back.
    EXPECT_EQ(NumberFromText("0." + std::string(999'999, '0') + "1e1000004"), 1e4);
    EXPECT_EQ(NumberFromText("1" + std::string(1'000'000, '0') + "e-1000000"), 1.0);
    EXPECT_EQ(NumberFromText("0." + std::string(200'000, '0') + "1e99999999999999999999"),
              std::nullopt);
    // Many integer digits past the kept ones still count for the magnitude.
    EXPECT_EQ(NumberFromText("1" + std::string(300, '0')), 1e300);
}

TEST(Reading, OddBytesNeverBreakIt) {
    const ReadRow rows[] = {
        {"\xEF", 0.0},
        {"\xEF\xBC", 0.0},
        {"1\xEF\xBC", 1.0},
        {"\xE3\x80", 0.0},
        {"5\xFF", 5.0},
        {"\xFF"
         "5",
         0.0},
        {"\xC3\xA9", 0.0},
        {"\xEF\xBC\x91", 1.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::string(row.text)));
        EXPECT_EQ(NumberFromText(row.text), row.value);
    }
    // An embedded NUL ends the number like any other stranger.
    EXPECT_EQ(NumberFromText(std::string_view("12\0"
                                              "3",
                                              4)),
              12.0);
    // Megabytes of pasted text.
    EXPECT_EQ(NumberFromText(std::string(4 << 20, '9')), std::nullopt);
    EXPECT_EQ(NumberFromText("3" + std::string(4 << 20, 'x')), 3.0);
}

struct WriteRow {
    double value;
    const char* text;
};

TEST(Writing, FollowsTheWritingRule) {
    const WriteRow rows[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {1.0, "1"},
        {-1.0, "-1"},
        {0.66, "0.66"},
        {-12.35, "-12.35"},
        {41.989999999999995, "41.99"},
        {1.0000000000000002, "1"},
        {100.0, "100"},
        // Exponent form below 1E-04 ...
        {0.0001, "0.0001"},
        {0.00012345, "0.00012345"},
        {0.00001, "1E-05"},
        {2.47e-5, "2.47E-05"},
        {-2.47e-5, "-2.47E-05"},
        {0.000099999999999999995, "0.0001"},
        // ... and from 15 integer digits up.
        {99999999999999.0, "99999999999999"},
        {999999999999999.0, "999999999999999"},
        {123456789012345.6, "123456789012346"},
        {1e15, "1E+15"},
        {999999999999999.9, "1E+15"},
        {1234567890123456.0, "1.23456789012346E+15"},
        {6.6e306, "6.6E+306"},
        {1e100, "1E+100"},
        {1.5e-300, "1.5E-300"},
        {std::numeric_limits<double>::max(), "1.79769313486232E+308"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
        // Exact ties at the fifteenth digit go to the even digit.
        {1234567890123.125, "1234567890123.12"},
        {1234567890123.375, "1234567890123.38"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(TextFromNumber(row.value), row.text);
    }
}

TEST(Writing, AbsentAndNonFiniteWriteNothing) {
    EXPECT_EQ(TextFromNumber(std::nullopt), "");
    EXPECT_EQ(TextFromNumber(std::numeric_limits<double>::infinity()), "");
    EXPECT_EQ(TextFromNumber(std::numeric_limits<double>::quiet_NaN()), "");
}

} // namespace
} // namespace quimbel
