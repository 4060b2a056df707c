// A frame: a group box holding its controls as child windows, so they keep
// their designed place relative to it. A group box keeps its children's
// notifications and colour requests to itself: they go on to the window.

#include "Win32Private.h"

#include <commctrl.h>

namespace quimbel::ui::win32 {
namespace {

LRESULT HandleFrameMessage(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return SendMessageW(GetParent(frame), message, wParam, lParam);
    }
    return DefSubclassProc(frame, message, wParam, lParam);
}

HWND Create(const ControlSetup& setup) {
    // A control parent: the dialog keys look into it for its controls.
    const HWND frame = CreateChild(setup, L"Button", BS_GROUPBOX, WS_EX_CONTROLPARENT,
                                   CaptionWindowText(setup.plan.caption));
    if (frame)
        Subclass<HandleFrameMessage>(frame);
    return frame;
}

// The title on the top edge, indented about 8 pixels a side at 96 dots an
// inch.
bool Fits(HDC dc, const ControlPlan& plan, SIZE size, UINT dpi) {
    const int inset = MulDiv(8, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight <= size.cy &&
           TextWidth(dc, WideFromUtf8(plan.caption)) <= size.cx - 2 * inset;
}

} // namespace

const ControlClass FrameClass{.create = Create,
                              .toWindowText = CaptionWindowText,
                              .fromWindowText = CaptionLayerText,
                              .fits = Fits};

} // namespace quimbel::ui::win32
