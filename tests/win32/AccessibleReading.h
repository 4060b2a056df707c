#pragma once

// What a screen reader hears of a window's client area through Active
// Accessibility, asked the same way in the program's process and from the
// probe in another: "role<TAB>name<TAB>description", in UTF-8, a line break
// in a text written "\n"; an absent text (S_FALSE) is empty, a failed call
// "error" and its result.

#include <windows.h>

#include <oleacc.h>

#include <string>
#include <string_view>

namespace quimbel::testing {

// Defined here: MinGW-w64's import library can resolve its own to an import
// thunk, which no object answers to.
inline constexpr GUID AccessibleId{
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

inline std::string EscapedLines(std::string_view text) {
    std::string escaped;
    for (const char c : text)
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    return escaped;
}

inline std::string Failed(HRESULT result) { return "error " + std::to_string(result); }

// The text a call gave, and lets it go.
inline std::string Answered(HRESULT result, BSTR text) {
    std::string answer;
    if (FAILED(result))
        answer = Failed(result);
    else if (text && SysStringLen(text) > 0) {
        const int length = static_cast<int>(SysStringLen(text));
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
        answer = EscapedLines(utf8);
    }
    SysFreeString(text);
    return answer;
}

inline std::string Heard(HWND window) {
    IAccessible* object = nullptr;
    const HRESULT found = AccessibleObjectFromWindow(
        window, static_cast<DWORD>(OBJID_CLIENT), AccessibleId, reinterpret_cast<void**>(&object));
    if (FAILED(found) || !object)
        return Failed(found);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role{};
    const HRESULT roleResult = object->get_accRole(self, &role);
    std::string heard = FAILED(roleResult) ? Failed(roleResult)
                        : role.vt == VT_I4 ? std::to_string(role.lVal)
                                           : "no role";
    VariantClear(&role);
    BSTR name = nullptr;
    const HRESULT named = object->get_accName(self, &name);
    heard += "\t" + Answered(named, name);
    BSTR description = nullptr;
    const HRESULT described = object->get_accDescription(self, &description);
    heard += "\t" + Answered(described, description);
    object->Release();
    return heard;
}

} // namespace quimbel::testing
