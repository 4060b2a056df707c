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

std::wstring FieldText(std::wstring_view text, std::size_t pieceLength, std::size_t column) {
    std::wstring result;
    result.reserve(text.size() + (pieceLength ? text.size() / pieceLength * SoftBreak.size() : 0));
    bool searchBack = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (unit == L'\r' || unit == L'\n') {
            // A run of carriage returns ending in a line feed is one line
            // break ("\r\r\n" is how Windows writes a soft one); any other
            // carriage return or line feed is one of its own. A carriage
            // return left alone could later meet a line break and make a
            // soft break of it.
            if (unit == L'\r') {
                std::size_t end = i;
                while (end < text.size() && text[end] == L'\r')
                    ++end;
                if (end < text.size() && text[end] == L'\n')
                    i = end;
            }
            result += L"\r\n";
            column = 0;
            searchBack = true;
            continue;
        }
        // Where the plan lets a piece end: the nearest such place within the
        // piece, else the first after it.
        if (pieceLength && column >= pieceLength) {
            std::size_t back = 0;
            const std::size_t reach = searchBack ? std::min(column, i) : 0;
            while (back < reach && !MayEndPieceAt(text, i - back))
                ++back;
            if (back < reach || MayEndPieceAt(text, i)) {
                result.insert(result.size() - back, SoftBreak);
                column = back;
                searchBack = true;
            } else {
                // One long cluster: look only ahead until it ends.
                searchBack = false;
            }
        }
        result += unit;
        ++column;
    }
    return result;
}

std::wstring WithoutSoftBreaks(std::wstring_view text) {
    std::size_t found = text.find(SoftBreak);
    if (found == std::wstring_view::npos)
        return std::wstring(text);
    std::wstring result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (; found != std::wstring_view::npos; found = text.find(SoftBreak, from)) {
        result.append(text.substr(from, found - from));
        from = found + SoftBreak.size();
    }
    result.append(text.substr(from));
    return result;
}

std::size_t PlainPosition(std::wstring_view text, std::size_t position) {
    position = std::min(position, text.size());
    std::size_t plain = position;
    for (std::size_t found = text.find(SoftBreak); found < position;
         found = text.find(SoftBreak, found + SoftBreak.size()))
        plain -= std::min(SoftBreak.size(), position - found);
    return plain;
}

std::size_t PositionWithSoftBreaks(std::wstring_view text, std::size_t plain) {
    std::size_t breaks = 0;
    for (std::size_t found = text.find(SoftBreak); found != std::wstring_view::npos;
         found = text.find(SoftBreak, found + SoftBreak.size())) {
        if (found - breaks * SoftBreak.size() >= plain)
            break;
        ++breaks;
    }
    return std::min(plain + breaks * SoftBreak.size(), text.size());
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
