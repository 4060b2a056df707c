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

} // namespace

const ControlClass ButtonClass{
    .create = Create, .toWindowText = CaptionWindowText, .fromWindowText = CaptionLayerText};

} // namespace quimbel::ui::win32
