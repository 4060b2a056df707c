#include "Win32ToolTips.h"

#include "Win32Private.h"

#include <commctrl.h>

#include <string>

namespace quimbel::ui::win32 {

void ToolTips::Create(HWND owner, HINSTANCE instance) {
    owner_ = owner;
    window_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                  WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                  instance, nullptr));
}

TTTOOLINFOW ToolTips::ToolOf(HWND control) const {
    // The size common controls 5.8 knows too, for a program without
    // version 6.
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = owner_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

void ToolTips::Add(HWND control, std::string_view text, bool area) {
    if (!window_ || text.empty())
        return;
    std::wstring wide = WideFromUtf8(text);
    TTTOOLINFOW tool = ToolOf(control);
    tool.lpszText = wide.data();
    tool.uFlags = area ? TTF_SUBCLASS : TTF_IDISHWND | TTF_SUBCLASS;
    SendMessageW(window_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (area)
        Follow(control);
}

void ToolTips::Follow(HWND control) {
    if (!window_)
        return;
    TTTOOLINFOW tool = ToolOf(control);
    GetClientRect(control, &tool.rect);
    MapWindowPoints(control, owner_, reinterpret_cast<POINT*>(&tool.rect), 2);
    SendMessageW(window_.get(), TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void ToolTips::SetFont(HFONT font) {
    if (window_)
        SendMessageW(window_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

} // namespace quimbel::ui::win32
