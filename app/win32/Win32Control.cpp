// What the window needs of every kind of control: its class, and the child
// window each kind is made from.

#include "Win32Private.h"

namespace quimbel::ui::win32 {

const ControlClass& ClassOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return LabelClass;
    case ControlKind::TextBox:
        return TextBoxClass;
    case ControlKind::CommandButton:
        return ButtonClass;
    case ControlKind::Frame:
        break;
    }
    return FrameClass;
}

HWND CreateChild(const ControlSetup& setup, const wchar_t* className, DWORD style, DWORD exStyle,
                 const std::wstring& text) {
    const HWND control = CreateWindowExW(
        exStyle, className, text.c_str(), style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
        setup.place.left, setup.place.top, setup.place.width, setup.place.height, setup.parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(setup.id)), setup.instance, nullptr);
    if (control)
        MakeAccessible(control, setup.plan, setup.accessibility);
    return control;
}

} // namespace quimbel::ui::win32
