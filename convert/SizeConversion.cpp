#include "SizeConversion.h"

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <system_error>

namespace quimbel {
namespace {

// One character of field text as the number reader sees it: its ASCII form
// (or '\0' when it is nothing the reader knows) and its length in bytes.
struct Symbol {
    char ascii;
    std::size_t length;
};

// Full-width forms U+FF01..U+FF5E are U+0021..U+007E shifted by 0xFEE0; Chinese
// input methods type them for digits and signs. UTF-8: EF BC 81..BF, EF BD 80..9E.
Symbol SymbolAt(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    if (byte(0) < 0x80)
        return {static_cast<char>(byte(0)), 1};
    if (text.size() - pos < 3)
        return {'\0', 1};
    if (byte(0) == 0xE3 && byte(1) == 0x80 && byte(2) == 0x80)
        return {' ', 3}; // ideographic space
    if (byte(0) == 0xEF && (byte(1) == 0xBC || byte(1) == 0xBD) && byte(2) >= 0x80 &&
        byte(2) <= 0xBF) {
        const unsigned codePoint = 0xFF00u + ((byte(1) - 0xBCu) << 6) + (byte(2) - 0x80u);
        if (codePoint >= 0xFF01 && codePoint <= 0xFF5E) {
            const char ascii = static_cast<char>(codePoint - 0xFEE0u);
            // Only what can belong to a number; other full-width letters end it.
            if ((ascii >= '0' && ascii <= '9') || ascii == '.' || ascii == '+' || ascii == '-' ||
                ascii == 'E' || ascii == 'e')
                return {ascii, 3};
        }
    }
    return {'\0', 1};
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// More significant digits than this never change which double is nearest
// (a double's exact decimal form has at most 767 of them), so the rest only
// count as "something non-zero follows".
constexpr std::size_t MaxKeptDigits = 780;
// Any decimal exponent beyond this is outside the double range either way.
constexpr std::int64_t ExponentClamp = 100000;
// Exponent digits stop counting here: far beyond any shift of the point that
// a text held in memory can make, and far from overflowing the sum of both.
constexpr std::int64_t ExponentDigitsLimit = 1'000'000'000'000'000;

constexpr double ExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

class NumberReader {
public:
    explicit NumberReader(std::string_view text) : text_(text) {}

    std::optional<double> Read() {
        Symbol symbol = Peek();
        while (IsBlank(symbol.ascii)) {
            pos_ += symbol.length;
            symbol = Peek();
        }
        bool negative = false;
        if (symbol.ascii == '+' || symbol.ascii == '-') {
            negative = symbol.ascii == '-';
            pos_ += symbol.length;
        }
        const bool hasMantissa = ReadMantissa();
        if (!hasMantissa)
            return 0.0;
        ReadExponent();
        if (keptCount_ == 0)
            return negative ? -0.0 : 0.0;
        return Convert(negative);
    }

private:
    Symbol Peek() const {
        if (pos_ >= text_.size())
            return {'\0', 0};
        // ASCII inline: it is nearly all a field ever holds.
        if (const char c = text_[pos_]; static_cast<unsigned char>(c) < 0x80)
            return {c, 1};
        return SymbolAt(text_, pos_);
    }

    // Digits with at most one "."; true when at least one digit was read.
    bool ReadMantissa() {
        bool anyDigit = false;
        bool afterPoint = false;
        for (;;) {
            const Symbol symbol = Peek();
            if (symbol.ascii == '.' && !afterPoint) {
                afterPoint = true;
            } else if (IsDigit(symbol.ascii)) {
                anyDigit = true;
                AddDigit(symbol.ascii, afterPoint);
            } else {
                break;
            }
            pos_ += symbol.length;
        }
        return anyDigit;
    }

    void AddDigit(char c, bool afterPoint) {
        if (keptCount_ == 0 && c == '0') { // leading zero: only its place counts
            if (afterPoint)
                --scale_;
            return;
        }
        if (keptCount_ < MaxKeptDigits) {
            digits_[keptCount_++] = c;
            leadingValue_ = leadingValue_ * 10 + static_cast<std::uint64_t>(c - '0');
            if (afterPoint)
                --scale_;
            return;
        }
        if (!afterPoint)
            ++scale_;
        if (c != '0')
            sticky_ = true;
    }

    // "E"/"e", optional sign, digits. Without a digit the letter is not part of
    // the number and reading ends in front of it.
    void ReadExponent() {
        const std::size_t start = pos_;
        Symbol symbol = Peek();
        if (symbol.ascii != 'E' && symbol.ascii != 'e')
            return;
        pos_ += symbol.length;
        symbol = Peek();
        bool negative = false;
        if (symbol.ascii == '+' || symbol.ascii == '-') {
            negative = symbol.ascii == '-';
            pos_ += symbol.length;
            symbol = Peek();
        }
        if (!IsDigit(symbol.ascii)) {
            pos_ = start;
            return;
        }
        std::int64_t value = 0;
        while (IsDigit(symbol.ascii)) {
            if (value < ExponentDigitsLimit)
                value = value * 10 + (symbol.ascii - '0');
            pos_ += symbol.length;
            symbol = Peek();
        }
        exponent_ = negative ? -value : value;
    }

    std::optional<double> Convert(bool negative) {
        std::size_t count = keptCount_;
        std::int64_t scale = scale_;
        if (sticky_) {
            digits_[count++] = '1';
            --scale;
        }
        std::int64_t exponent = exponent_ + scale;
        if (exponent > ExponentClamp)
            exponent = ExponentClamp;
        if (exponent < -ExponentClamp)
            exponent = -ExponentClamp;

#if FLT_EVAL_METHOD == 0
        // Typed sizes are short: up to 15 digits make an integer that a double
        // holds exactly, and so is every power of ten up to 1e22, so a single
        // multiplication or division gives the nearest double directly.
        if (count <= 15 && exponent >= -22 && exponent <= 22) {
            const double mantissa = static_cast<double>(leadingValue_);
            const double value = exponent < 0 ? mantissa / ExactPowersOfTen[-exponent]
                                              : mantissa * ExactPowersOfTen[exponent];
            return negative ? -value : value;
        }
#endif

        // The digits are already in place; the exponent goes right after them.
        char* out = digits_.data() + count;
        *out++ = 'e';
        out = std::to_chars(out, digits_.data() + digits_.size(), exponent).ptr;

        double value = 0.0;
        const auto [end, error] = std::from_chars(digits_.data(), out, value);
        static_cast<void>(end);
        if (error == std::errc::result_out_of_range) {
            // The place value of the leading digit tells which end was left.
            const std::int64_t leading = exponent + static_cast<std::int64_t>(count) - 1;
            if (leading > 0)
                return std::nullopt;
            value = 0.0;
        }
        return negative ? -value : value;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    // Left uninitialised: only the first keptCount_ are ever read, and clearing
    // 800 bytes per call would cost more than the whole reading of "17".
    // Room for the sticky digit and "e-100000" after the kept digits.
    std::array<char, MaxKeptDigits + 16> digits_;
    std::size_t keptCount_ = 0;
    std::int64_t scale_ = 0; // value = digits * 10^(scale + exponent)
    std::int64_t exponent_ = 0;
    bool sticky_ = false;
    // The kept digits as an integer; meaningful only while there are at most
    // 15 of them (it wraps harmlessly beyond).
    std::uint64_t leadingValue_ = 0;
};

} // namespace

std::optional<double> NumberFromText(std::string_view utf8) { return NumberReader(utf8).Read(); }

std::string TextFromNumber(std::optional<double> value) {
    if (!value || !std::isfinite(*value))
        return {};
    if (*value == 0.0)
        return "0";

    // "d.dddddddddddddde+XXX": 15 significant digits, correctly rounded.
    std::array<char, 32> sci{};
    const auto written = std::to_chars(sci.data(), sci.data() + sci.size(), *value,
                                       std::chars_format::scientific, 14);
    const std::string_view text(sci.data(), static_cast<std::size_t>(written.ptr - sci.data()));

    const bool negative = text.front() == '-';
    const std::size_t mantissaStart = negative ? 1 : 0;
    const std::size_t ePos = text.find('e');
    std::array<char, 15> digits{};
    std::size_t digitCount = 0;
    for (std::size_t i = mantissaStart; i < ePos; ++i)
        if (text[i] != '.')
            digits[digitCount++] = text[i];
    while (digitCount > 1 && digits[digitCount - 1] == '0')
        --digitCount;
    int exponent = 0;
    const char* expBegin = text.data() + ePos + 1;
    if (*expBegin == '+')
        ++expBegin;
    std::from_chars(expBegin, text.data() + text.size(), exponent);

    // Built on the stack: the string then allocates only when the text is too
    // long for its inline buffer.
    std::array<char, 32> buffer;
    char* out = buffer.data();
    const auto append = [&out](const char* from, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            *out++ = from[i];
    };
    if (negative)
        *out++ = '-';
    if (exponent < -4 || exponent >= 15) {
        *out++ = digits[0];
        if (digitCount > 1) {
            *out++ = '.';
            append(digits.data() + 1, digitCount - 1);
        }
        *out++ = 'E';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude >= 100)
            *out++ = static_cast<char>('0' + magnitude / 100);
        *out++ = static_cast<char>('0' + magnitude / 10 % 10);
        *out++ = static_cast<char>('0' + magnitude % 10);
    } else if (exponent < 0) {
        *out++ = '0';
        *out++ = '.';
        for (int i = -exponent - 1; i > 0; --i)
            *out++ = '0';
        append(digits.data(), digitCount);
    } else {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digitCount <= integerDigits) {
            append(digits.data(), digitCount);
            for (std::size_t i = digitCount; i < integerDigits; ++i)
                *out++ = '0';
        } else {
            append(digits.data(), integerDigits);
            *out++ = '.';
            append(digits.data() + integerDigits, digitCount - integerDigits);
        }
    }
    return std::string(buffer.data(), static_cast<std::size_t>(out - buffer.data()));
}

std::optional<double> SideCentimetres(double inches, double sideCmAtReference) {
    const double product = inches * sideCmAtReference;
    if (!std::isfinite(product))
        return std::nullopt;
    return product / static_cast<double>(ReferenceInches);
}

ScreenSize InchesToCentimetres(double inches) {
    return {SideCentimetres(inches, DiagonalCmAtReference),
            SideCentimetres(inches, LongSideCmAtReference),
            SideCentimetres(inches, ShortSideCmAtReference)};
}

std::optional<double> CentimetresToInches(double centimetres) {
    const double product = centimetres * static_cast<double>(ReferenceInches);
    if (!std::isfinite(product))
        return std::nullopt;
    return product / DiagonalCmAtReference;
}

} // namespace quimbel
