// A command button: a plain push button. None is the default button; Enter
// presses the one that has the focus.

#include "Win32Private.h"

namespace quimbel::ui::win32 {
namespace {

HWND Create(const ControlSetup& setup) {
    // A caption of several lines keeps its line breaks.
    const DWORD lines = setup.plan.captionLines.size() > 1 ? BS_MULTILINE : 0;
    return CreateChild(setup, L"Button", WS_TABSTOP | BS_PUSHBUTTON | lines, 0,
                       CaptionWindowText(setup.plan.caption));
}

// The caption inside the button's border and focus rectangle, about 4 pixels
// a side at 96 dots an inch.
bool Fits(HDC dc, const ControlPlan& plan, SIZE size, UINT dpi) {
    const int margin = MulDiv(4, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    if (static_cast<int>(plan.captionLines.size()) * metrics.tmHeight > size.cy - 2 * margin)
        return false;
    for (const std::string& line : plan.captionLines)
        if (TextWidth(dc, WideFromUtf8(line)) > size.cx - 2 * margin)
            return false;
    return true;
}

} // namespace

const ControlClass ButtonClass{.create = Create,
                               .toWindowText = CaptionWindowText,
                               .fromWindowText = CaptionLayerText,
                               .fits = Fits};

} // namespace quimbel::ui::win32
