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

} // namespace

const ControlClass FrameClass{
    .create = Create, .toWindowText = CaptionWindowText, .fromWindowText = CaptionLayerText};

} // namespace quimbel::ui::win32
