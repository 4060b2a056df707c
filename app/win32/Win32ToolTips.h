#pragma once

// The tooltips of one window's controls: one tooltip window, a tool per
// control that has a tooltip.

#include "Win32Support.h"

#include <string_view>

namespace quimbel::ui::win32 {

class ToolTips {
public:
    // The tooltip window for `owner`'s controls. Tooltips help, but a window
    // works without them: where Windows cannot make one, nothing shows.
    void Create(HWND owner, HINSTANCE instance);
    // Null when there is none.
    HWND Handle() const { return window_.get(); }
    // A control's tooltip. A control that lets the mouse through to the
    // window (`area`, a frame) gets an area of the window, set where the
    // control lies now; Follow sets it anew after a move.
    void Add(HWND control, std::string_view text, bool area);
    void Follow(HWND control);
    void SetFont(HFONT font);
    void Destroy() { window_.reset(); }

private:
    TTTOOLINFOW ToolOf(HWND control) const;

    HWND owner_ = nullptr;
    UniqueWindow window_;
};

} // namespace quimbel::ui::win32
