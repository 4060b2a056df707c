#pragma once

// Screen-size conversion between inches and centimetres, and the way numbers
// are read from and written to field text. Plain standard C++: no toolkit,
// no dependence on the process locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quimbel {

// The reference screen that every result scales from. The four are
// independent measurements, not derived from one another: the diagonal grows
// by 2.47 cm per inch, not by 2.54. The size is a whole number of inches, kept
// as the small integer it is; each use converts it to a double, exactly.
inline constexpr std::int16_t ReferenceInches = 20;
inline constexpr double DiagonalCmAtReference = 49.4;
inline constexpr double LongSideCmAtReference = 43.5;
inline constexpr double ShortSideCmAtReference = 26.4;

// Reads the number at the front of a field's text: blanks first (space, tab,
// line breaks, ideographic space), then an optional sign, digits with at most
// one ".", and an optional exponent ("E"/"e", optional sign, digits). Reading
// stops at the first character that cannot continue the number. Full-width
// digits, signs, point and "Ｅ"/"ｅ" read like their ASCII forms.
//
// A text without a number reads as 0. The result is the double nearest to
// the number; a number too small for a double reads as zero of its sign.
// Empty only when the number lies beyond the largest double.
//
// Runs in time proportional to the characters it looks at and never reads
// past the end of `utf8`, whatever bytes it holds.
std::optional<double> NumberFromText(std::string_view utf8);

// Writes a number with 15 significant digits (ties to even), trailing zeros
// and a bare "." dropped, "-" for negatives, "0" for zero of either sign.
// Decimal exponents below -4 or from 15 up use the exponent form "2.47E-05".
// An absent value (and a value that is not finite) writes as "".
std::string TextFromNumber(std::optional<double> value);

// One side of the screen for a size in inches: the product with the side's
// length at the reference first, rounded to a double, then divided by
// ReferenceInches. Empty when the product leaves the double range.
std::optional<double> SideCentimetres(double inches, double sideCmAtReference);

struct ScreenSize {
    std::optional<double> diagonal;
    std::optional<double> longSide;
    std::optional<double> shortSide;
};

// All three sides; a side whose product overflows is empty, the others are
// still computed. For tests and benchmarks: the main window takes each side as
// a step of its own (so one failing step skips only that side), calling
// SideCentimetres as this does.
ScreenSize InchesToCentimetres(double inches);

// The diagonal in inches: the product with ReferenceInches first, then the
// division by DiagonalCmAtReference. Empty when the product overflows.
std::optional<double> CentimetresToInches(double centimetres);

} // namespace quimbel
