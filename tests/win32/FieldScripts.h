#pragma once

// Texts that need Windows' text services to be drawn right, for the field's
// tests and for a look at them (quimbel_field_show.exe).

#include <string_view>

namespace quimbel::testing {

struct Script {
    const char* name;
    std::wstring_view text;
};
inline constexpr Script Scripts[] = {
    // 显示屏尺寸，换算之后 (ending on an ideograph: a full stop's ink keeps
    // to the left of its advance).
    {"a Chinese sentence", L"\x663E\x793A\x5C4F\x5C3A\x5BF8\xFF0C\x6362\x7B97\x4E4B\x540E"},
    // The rupee sign: not in the Chinese font, drawn from a linked or fallback one.
    {"a character from a linked font", L"17 \x20B9 42"},
    {"Arabic", L"\x0645\x0631\x062D\x0628\x0627 \x0628\x0627\x0644\x0639\x0627\x0644\x0645"},
    {"Hebrew", L"\x05E9\x05DC\x05D5\x05DD \x05E2\x05D5\x05DC\x05DD"},
    {"Devanagari", L"\x0928\x092E\x0938\x094D\x0924\x0947 \x0915\x093F"},
    {"Thai", L"\x0E2A\x0E27\x0E31\x0E2A\x0E14\x0E35 \x0E01\x0E34"},
    // a, man, joiner, woman, b
    {"an emoji with a joiner", L"a\xD83D\xDC68\x200D\xD83D\xDC69"
                               L"b"},
};

} // namespace quimbel::testing
