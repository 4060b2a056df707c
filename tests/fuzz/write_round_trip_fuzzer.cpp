// Writes a double, reads the text back and writes again: the two texts must
// match. Checks the form of the text too, and compares it with the C library's
// "%.15G", which follows the same rule for everything but negative zero.
//
// An input of exactly 8 bytes is the double's bit pattern, which reaches every
// exponent; any other input is read as text, which lets the seeds and their
// mutations sit near decimal rounding boundaries.

#include "SizeConversion.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Fail(const char* what, double x, const std::string& text) {
    std::fprintf(stderr, "%s: x = %.17g (%a), text \"%s\"\n", what, x, x, text.c_str());
    std::abort();
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Parses `text` as [-]digits[.digits] or [-]d[.digits]E(+|-)dd[d] and checks
// the writing rule on it: at most 15 significant digits, no trailing zero or
// bare "." in a fraction, and the exponent form exactly when the decimal
// exponent is below -4 or from 15 up. Returns what is wrong, or nullptr.
const char* FormError(std::string_view text) {
    if (text == "0")
        return nullptr;
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    const std::size_t e = text.find('E');
    const std::string_view mantissa = text.substr(0, e);
    if (mantissa.empty() || !IsDigit(mantissa.front()))
        return "mantissa does not start with a digit";

    const std::size_t point = mantissa.find('.');
    const std::string_view integer = mantissa.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : mantissa.substr(point + 1);
    for (const std::string_view part : {integer, fraction})
        for (const char c : part)
            if (!IsDigit(c))
                return "stray character in the mantissa";
    if (point != std::string_view::npos && (fraction.empty() || fraction.back() == '0'))
        return "fraction ends in zero or is empty";
    if (integer.size() > 1 && integer.front() == '0')
        return "leading zero";

    // Significant digits and the decimal exponent of the first of them.
    std::string digits(integer);
    digits += fraction;
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return "a non-zero value written as zero";
    const std::size_t last = digits.find_last_not_of('0');
    if (last - first + 1 > 15)
        return "more than 15 significant digits";
    long exponent = static_cast<long>(integer.size()) - 1 - static_cast<long>(first);

    if (e == std::string_view::npos) {
        if (exponent < -4 || exponent >= 15)
            return "plain form outside [1E-04, 1E+15)";
        return nullptr;
    }
    if (integer.size() != 1 || integer.front() == '0')
        return "exponent form needs one non-zero leading digit";
    const std::string_view exp = text.substr(e + 1);
    if (exp.size() < 3 || (exp[0] != '+' && exp[0] != '-'))
        return "exponent without sign or two digits";
    if (exp.size() > 4 || (exp.size() == 4 && exp[1] == '0'))
        return "exponent with a superfluous zero";
    long value = 0;
    for (const char c : exp.substr(1)) {
        if (!IsDigit(c))
            return "stray character in the exponent";
        value = value * 10 + (c - '0');
    }
    exponent = exp[0] == '-' ? -value : value;
    if (exponent >= -4 && exponent < 15)
        return "exponent form inside [1E-04, 1E+15)";
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    double x = 0.0;
    if (size == sizeof x) {
        std::memcpy(&x, data, sizeof x);
    } else {
        const auto read =
            quimbel::NumberFromText(std::string_view(reinterpret_cast<const char*>(data), size));
        if (!read)
            return 0;
        x = *read;
    }
    if (!std::isfinite(x))
        return 0;

    const std::string first = quimbel::TextFromNumber(x);
    const auto back = quimbel::NumberFromText(first);
    if (!back)
        return 0; // rounded to 15 digits it lies beyond the largest double
    const std::string second = quimbel::TextFromNumber(*back);
    if (first != second)
        Fail(("written again as \"" + second + "\"").c_str(), x, first);

    if (const char* error = FormError(first))
        Fail(error, x, first);

    char expected[32];
    std::snprintf(expected, sizeof expected, "%.15G", x);
    const std::string_view reference = x == 0.0 ? std::string_view("0") : expected;
    if (first != reference)
        Fail(("%.15G writes \"" + std::string(reference) + "\"").c_str(), x, first);
    return 0;
}
