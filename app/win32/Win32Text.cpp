// Text crosses between the layer and Windows here only: UTF-8 with "\n" line
// breaks on the layer's side, UTF-16 with "\r\n" on Windows'. Every function
// is one pass over its text, so a pasted megabyte costs no more than copying
// it.

#include "Win32Private.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace quimbel::ui::win32 {
namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX))
        throw std::length_error("text longer than Windows takes at once");
    return static_cast<int>(size);
}

} // namespace

std::wstring WideFromUtf8(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int length = CheckedLength(utf8.size());
    // Invalid bytes become U+FFFD rather than failing the whole text.
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), wideLength);
    return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int length = CheckedLength(wide.size());
    const int utf8Length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), utf8Length, nullptr, nullptr);
    return utf8;
}

std::wstring WindowText(std::string_view text) {
    const std::wstring wide = WideFromUtf8(text);
    std::size_t bare = 0;
    wchar_t previous = 0;
    for (const wchar_t unit : wide) {
        bare += unit == L'\n' && previous != L'\r';
        previous = unit;
    }
    if (bare == 0)
        return wide;
    std::wstring result;
    result.reserve(wide.size() + bare);
    previous = 0;
    for (const wchar_t unit : wide) {
        if (unit == L'\n' && previous != L'\r')
            result += L'\r';
        result += unit;
        previous = unit;
    }
    return result;
}

std::string LayerText(std::wstring_view text) {
    if (text.find(L"\r\n") == std::wstring_view::npos)
        return Utf8FromWide(text);
    std::wstring joined;
    joined.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n'))
            joined += text[i];
    return Utf8FromWide(joined);
}

std::wstring CaptionWindowText(std::string_view layerText) {
    return WindowText(DoubleAmpersands(layerText));
}

std::string CaptionLayerText(std::wstring_view text) { return HalveAmpersands(LayerText(text)); }

std::wstring FieldText(std::wstring_view text) {
    std::wstring result;
    result.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (unit != L'\r' && unit != L'\n') {
            result += unit;
            continue;
        }
        // A run of carriage returns ending in a line feed is one line break
        // ("\r\r\n" is how Windows writes one that wraps); any other carriage
        // return or line feed is one of its own.
        if (unit == L'\r') {
            std::size_t end = i;
            while (end < text.size() && text[end] == L'\r')
                ++end;
            if (end < text.size() && text[end] == L'\n')
                i = end;
        }
        result += L"\r\n";
    }
    return result;
}

std::wstring TextOfWindow(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::vector<std::wstring_view> LinesOf(std::wstring_view text) {
    std::vector<std::wstring_view> lines;
    for (;;) {
        const std::size_t end = text.find(L"\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::wstring_view::npos)
            return lines;
        text.remove_prefix(end + 2);
    }
}

} // namespace quimbel::ui::win32
