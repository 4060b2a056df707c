// Compares the number reader with the C library's strtod on texts made only of
// what a decimal number can hold: digits, ".", "e"/"E", signs and blanks, each
// in its ASCII or full-width form. On such a text both read the same longest
// number, so they must agree bit for bit (the sign of zero included), and the
// reader must be empty exactly where strtod overflows.

#include "SizeConversion.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// A byte whose low seven bits already spell one of these stands for itself, so
// seeds are plain text; any other byte picks one by its low four bits, which
// favours digits and so brings up long digit strings. The high bit asks for
// the full-width form.
constexpr char Alphabet[] = "0123456789.eE+- ";
static_assert(sizeof(Alphabet) - 1 == 16);

char SymbolFor(std::uint8_t byte) {
    const char low = static_cast<char>(byte & 0x7Fu);
    for (const char c : std::string_view(Alphabet, 16))
        if (c == low)
            return c;
    return Alphabet[byte & 0x0Fu];
}

// The full-width form typed by Chinese input methods (U+FF0B..U+FF45), or the
// ideographic space for a blank.
void AppendWide(std::string& out, char ascii) {
    if (ascii == ' ') {
        out += "\xE3\x80\x80";
        return;
    }
    const unsigned codePoint = 0xFEE0u + static_cast<unsigned char>(ascii);
    out += static_cast<char>(0xE0u | (codePoint >> 12));
    out += static_cast<char>(0x80u | ((codePoint >> 6) & 0x3Fu));
    out += static_cast<char>(0x80u | (codePoint & 0x3Fu));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string ascii;
    std::string mixed;
    ascii.reserve(size);
    mixed.reserve(size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = SymbolFor(data[i]);
        ascii += c;
        if (data[i] & 0x80u)
            AppendWide(mixed, c);
        else
            mixed += c;
    }

    const double expected = std::strtod(ascii.c_str(), nullptr);
    // No "inf" can be spelled from the alphabet, so infinity means overflow.
    const bool overflow = std::isinf(expected);

    for (const std::string* text : {&ascii, &mixed}) {
        const auto value = quimbel::NumberFromText(*text);
        const bool agree = overflow ? !value
                                    : value && std::bit_cast<std::uint64_t>(*value) ==
                                                   std::bit_cast<std::uint64_t>(expected);
        if (!agree) {
            std::fprintf(stderr, "text \"%s\": strtod %.17g, NumberFromText %s%.17g\n",
                         text->c_str(), expected, value ? "" : "(empty) ", value ? *value : 0.0);
            std::abort();
        }
    }
    return 0;
}
