#include "SizeConversion.h"

#include <array>
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

class NumberReader {
public:
    explicit NumberReader(std::string_view text) : text_(text) {}

    std::optional<double> Read() {
        while (pos_ < text_.size() && IsBlank(Peek().ascii))
            Advance();
        bool negative = false;
        if (const char c = Peek().ascii; c == '+' || c == '-') {
            negative = c == '-';
            Advance();
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
    Symbol Peek() const { return pos_ < text_.size() ? SymbolAt(text_, pos_) : Symbol{'\0', 0}; }
    void Advance() { pos_ += SymbolAt(text_, pos_).length; }

    // Digits with at most one "."; true when at least one digit was read.
    bool ReadMantissa() {
        bool anyDigit = false;
        bool afterPoint = false;
        for (;;) {
            const char c = Peek().ascii;
            if (c == '.' && !afterPoint) {
                afterPoint = true;
            } else if (IsDigit(c)) {
                anyDigit = true;
                AddDigit(c, afterPoint);
            } else {
                break;
            }
            Advance();
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
        if (const char c = Peek().ascii; c != 'E' && c != 'e')
            return;
        Advance();
        bool negative = false;
        if (const char c = Peek().ascii; c == '+' || c == '-') {
            negative = c == '-';
            Advance();
        }
        if (!IsDigit(Peek().ascii)) {
            pos_ = start;
            return;
        }
        std::int64_t value = 0;
        while (IsDigit(Peek().ascii)) {
            if (value < ExponentClamp)
                value = value * 10 + (Peek().ascii - '0');
            Advance();
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

        std::array<char, MaxKeptDigits + 32> buffer{};
        char* out = buffer.data();
        for (std::size_t i = 0; i < count; ++i)
            *out++ = digits_[i];
        *out++ = 'e';
        out = std::to_chars(out, buffer.data() + buffer.size(), exponent).ptr;

        double value = 0.0;
        const auto [end, error] = std::from_chars(buffer.data(), out, value);
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
    std::array<char, MaxKeptDigits + 1> digits_{};
    std::size_t keptCount_ = 0;
    std::int64_t scale_ = 0; // value = digits * 10^(scale + exponent)
    std::int64_t exponent_ = 0;
    bool sticky_ = false;
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
    const auto written =
        std::to_chars(sci.data(), sci.data() + sci.size(), *value, std::chars_format::scientific, 14);
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

    std::string out;
    out.reserve(24);
    if (negative)
        out += '-';
    if (exponent < -4 || exponent >= 15) {
        out += digits[0];
        if (digitCount > 1) {
            out += '.';
            out.append(digits.data() + 1, digitCount - 1);
        }
        out += 'E';
        out += exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10)
            out += '0';
        out += std::to_string(magnitude);
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits.data(), digitCount);
    } else {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digitCount <= integerDigits) {
            out.append(digits.data(), digitCount);
            out.append(integerDigits - digitCount, '0');
        } else {
            out.append(digits.data(), integerDigits);
            out += '.';
            out.append(digits.data() + integerDigits, digitCount - integerDigits);
        }
    }
    return out;
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
