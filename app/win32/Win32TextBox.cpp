// A field: a multi-line Edit that wraps at its width, takes any amount of
// text, and keeps Enter for line breaks while Tab moves on.
//
// Some edit controls (Wine's among them) lay out a wrapped paragraph in time
// that grows with the square of its length: a megabyte would take hours. A
// field holding a text that long shows it on unwrapped lines instead; the
// window makes it anew when the length crosses the limit.

#include "Win32Private.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace quimbel::ui::win32 {
namespace {

// What Windows lets a user type or paste into an edit at the most.
constexpr WPARAM TextLimit = 0x7FFFFFFE;
constexpr WPARAM CtrlA = 1;
constexpr WPARAM Escape = 0x1B;
// About 0.5 s to wrap under Wine, already hundreds of lines in a field.
constexpr std::size_t LongestWrappedText = 8192;

std::size_t ClipboardTextLength(HWND owner) {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(owner))
        return 0;
    std::size_t length = 0;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            length = wcsnlen(text, GlobalSize(data) / sizeof(wchar_t));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return length;
}

// The field's length once the clipboard replaces its selection.
std::size_t LengthAfterPaste(HWND field) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    const auto length = static_cast<std::size_t>(GetWindowTextLengthW(field));
    return length - std::min<std::size_t>(end - start, length) + ClipboardTextLength(field);
}

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
    case WM_PASTE:
        // An unwrapped field takes the long text: the window makes it, then
        // pastes there.
        if (Wraps(field) && LengthAfterPaste(field) > LongestWrappedText) {
            PostMessageW(GetAncestor(field, GA_ROOT), FieldLengthMessage,
                         static_cast<WPARAM>(GetDlgCtrlID(field)), TRUE);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(field, FieldProcedure, id);
        break;
    }
    return DefSubclassProc(field, message, wParam, lParam);
}

HWND Create(const ControlSetup& setup) { return CreateField(setup, true); }

// Two lines of text inside the sunken edge.
bool Fits(HDC dc, const ControlPlan&, SIZE size, UINT dpi) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int edges = 2 * MulDiv(2, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    return 2 * metrics.tmHeight <= size.cy - edges;
}

} // namespace

HWND CreateField(const ControlSetup& setup, bool wrapping) {
    // Never a scroll bar; without horizontal scrolling lines wrap at the
    // field's width.
    const DWORD style = WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN |
                        (wrapping ? 0 : ES_AUTOHSCROLL);
    const HWND field =
        CreateChild(setup, L"Edit", style, WS_EX_CLIENTEDGE, WindowText(setup.plan.caption));
    if (!field)
        return nullptr;
    SendMessageW(field, EM_SETLIMITTEXT, TextLimit, 0);
    SetWindowSubclass(field, FieldProcedure, 0, 0);
    return field;
}

bool Wraps(HWND field) { return !(GetWindowLongW(field, GWL_STYLE) & ES_AUTOHSCROLL); }

bool ShouldWrap(HWND field, std::size_t length) {
    // Halfway back before it wraps again, so that typing at the limit does
    // not make the field anew at every key.
    return length <= (Wraps(field) ? LongestWrappedText : LongestWrappedText / 2);
}

const ControlClass TextBoxClass{Create, WindowText, LayerText, Fits};

} // namespace quimbel::ui::win32
