// A field: a multi-line Edit that wraps at its width, takes any amount of
// text, and keeps Enter for line breaks while Tab moves on.

#include "Win32Private.h"

#include <commctrl.h>

namespace quimbel::ui::win32 {
namespace {

// What Windows lets a user type or paste into an edit at the most.
constexpr WPARAM TextLimit = 0x7FFFFFFE;
constexpr WPARAM CtrlA = 1;
constexpr WPARAM Escape = 0x1B;

LRESULT CALLBACK FieldProcedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR) {
    switch (message) {
    case WM_GETDLGCODE: {
        LRESULT code = DefSubclassProc(field, message, wParam, lParam);
        // The window's keyboard handling takes Tab to move the focus, and
        // Esc, which does nothing; Enter stays with the field.
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key && key->message == WM_KEYDOWN &&
            (key->wParam == VK_TAB || key->wParam == VK_ESCAPE))
            code &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
        return code;
    }
    case WM_KEYDOWN:
        // A stock multi-line edit closes its window on Esc.
        if (wParam == VK_ESCAPE)
            return 0;
        break;
    case WM_CHAR:
        // The stock multi-line edit has no select-all key.
        if (wParam == CtrlA) {
            SendMessageW(field, EM_SETSEL, 0, -1);
            return 0;
        }
        if (wParam == L'\t' || wParam == Escape)
            return 0;
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(field, FieldProcedure, id);
        break;
    }
    return DefSubclassProc(field, message, wParam, lParam);
}

HWND Create(const ControlSetup& setup) {
    // No horizontal scrolling: lines wrap at the field's width.
    const HWND field = CreateChild(
        setup, L"Edit", WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
        WS_EX_CLIENTEDGE, WindowText(setup.plan.caption));
    if (!field)
        return nullptr;
    SendMessageW(field, EM_SETLIMITTEXT, TextLimit, 0);
    SetWindowSubclass(field, FieldProcedure, 0, 0);
    return field;
}

// Two lines of text inside the sunken edge.
bool Fits(HDC dc, const ControlPlan&, SIZE size, UINT dpi) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int edges = 2 * MulDiv(2, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    return 2 * metrics.tmHeight <= size.cy - edges;
}

} // namespace

const ControlClass TextBoxClass{Create, WindowText, LayerText, Fits};

} // namespace quimbel::ui::win32
