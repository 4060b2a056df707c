// Reads the number at the front of arbitrary bytes. AddressSanitizer catches a
// read past the end (libFuzzer hands over a buffer of exactly `size` bytes),
// UBSan catches overflowing arithmetic on long digit or exponent strings, and
// -timeout catches anything slower than linear.

#include "SizeConversion.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto value = quimbel::NumberFromText(text);
    if (value && !std::isfinite(*value)) {
        std::fprintf(stderr, "NumberFromText gave a value that is not finite: %g\n", *value);
        std::abort();
    }

    // Blanks in front never change what is read.
    const auto padded = quimbel::NumberFromText(" \t\xE3\x80\x80" + std::string(text));
    const bool same =
        value ? padded && std::signbit(*padded) == std::signbit(*value) && *padded == *value
              : !padded;
    if (!same) {
        std::fprintf(stderr, "leading blanks changed the number read\n");
        std::abort();
    }
    return 0;
}
