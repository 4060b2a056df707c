// A field: a multi-line Edit that wraps at its width, takes any amount of
// text, and keeps Enter for line breaks while Tab moves on.
//
// Some edit controls (Wine's among them) lay out a wrapped paragraph in time
// that grows with the square of its length: a megabyte would take hours. A
// field holding a text that long shows it on unwrapped lines instead; the
// window makes it anew when the length crosses the limit.
//
// Unwrapped, the edit control still measures a whole line at every key, so a
// pasted megabyte on one line would cost half a second a key. There a long
// line is held in pieces joined by soft breaks, which the control shows as
// line breaks and moves over as one; the field leaves them out wherever its
// text leaves it: its value, copy and cut.

#include "Win32Clipboard.h"
#include "Win32Private.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <optional>

namespace quimbel::ui::win32 {
namespace {

// What Windows lets a user type or paste into an edit at the most.
constexpr WPARAM TextLimit = 0x7FFFFFFE;
constexpr WPARAM CtrlA = 1;
constexpr WPARAM Escape = 0x1B;
// About 0.5 s to wrap under Wine, already hundreds of lines in a field.
constexpr std::size_t LongestWrappedText = 8192;
// A piece of a long line: measured in about a millisecond under Wine.
constexpr std::size_t PieceLength = 2048;
// A line that grew this long by other means than our own paste is cut again.
constexpr std::size_t LongestPiece = 4 * PieceLength;

LRESULT HandleFieldMessage(HWND field, UINT message, WPARAM wParam, LPARAM lParam);
std::wstring FieldWindowText(std::string_view text);

enum class Direction { Back, Forward };

struct Selection {
    DWORD start = 0;
    DWORD end = 0;
};

Selection SelectionOf(HWND field) {
    Selection selection;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&selection.start),
                 reinterpret_cast<LPARAM>(&selection.end));
    return selection;
}

std::size_t PieceLengthFor(HWND field) { return Wraps(field) ? 0 : PieceLength; }

// The selection onto the clipboard, without soft breaks, as Windows' plain
// text; false when there was none or the clipboard would not take it.
bool CopySelection(HWND field) {
    const Selection selection = SelectionOf(field);
    if (selection.end <= selection.start)
        return false;
    const std::wstring text = TextOfWindow(field);
    return SetClipboardText(field, WithoutSoftBreaks(std::wstring_view(text).substr(
                                       selection.start, selection.end - selection.start)));
}

std::size_t LineStart(HWND field, DWORD position) {
    const LRESULT line = SendMessageW(field, EM_LINEFROMCHAR, position, 0);
    return static_cast<std::size_t>(
        SendMessageW(field, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
}

std::size_t LineEnd(HWND field, DWORD position) {
    const std::size_t start = LineStart(field, position);
    return start + static_cast<std::size_t>(SendMessageW(field, EM_LINELENGTH, start, 0));
}

// How long the last line of a field's text runs, the first counted from `column`.
std::size_t LastRun(std::wstring_view text, std::size_t column) {
    const std::size_t lastBreak = text.rfind(L'\n');
    return lastBreak == std::wstring_view::npos ? column + text.size()
                                                : text.size() - lastBreak - 1;
}

} // namespace

void PasteClipboard(HWND field, bool evenIfTooLongToWrap) {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT))
        return;
    std::optional<std::wstring> text;
    bool tooLong = false;
    WithClipboardText(field, [&](std::wstring_view pasted) {
        const Selection selection = SelectionOf(field);
        const auto length = static_cast<std::size_t>(GetWindowTextLengthW(field));
        tooLong = !evenIfTooLongToWrap && Wraps(field) &&
                  length - std::min<std::size_t>(selection.end - selection.start, length) +
                          pasted.size() >
                      LongestWrappedText;
        if (tooLong)
            return;
        if (Wraps(field)) {
            text = FieldText(pasted, 0);
            return;
        }
        // The pieces go on from the piece the selection starts in, and the
        // last one stops short of the rest of its line.
        const std::size_t column = selection.start - LineStart(field, selection.start);
        const std::size_t rest = LineEnd(field, selection.end) - selection.end;
        text = FieldText(pasted, PieceLength, column);
        if (rest > 0 && LastRun(*text, column) + rest > PieceLength)
            text->append(SoftBreak);
    });
    if (tooLong) {
        PostMessageW(GetAncestor(field, GA_ROOT), FieldLengthMessage,
                     static_cast<WPARAM>(GetDlgCtrlID(field)), TRUE);
        return;
    }
    // A clipboard that could not be read leaves the selection as it is.
    if (text)
        SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text->c_str()));
}

namespace {

// The longest run between line breaks, soft or not.
std::size_t LongestRun(std::wstring_view text) {
    std::size_t longest = 0;
    for (std::size_t from = 0;;) {
        const std::size_t end = text.find(L"\r\n", from);
        std::size_t run = (end == std::wstring_view::npos ? text.size() : end) - from;
        // A soft break's first carriage return is not part of the run.
        if (end != std::wstring_view::npos && run > 0 && text[end - 1] == L'\r')
            --run;
        longest = std::max(longest, run);
        if (end == std::wstring_view::npos)
            return longest;
        from = end + 2;
    }
}

// After the stock context menu, which may cut, copy or paste without asking
// the field: the clipboard without soft breaks, long lines in pieces.
void TidyAfterMenu(HWND field, DWORD clipboardBefore) {
    if (GetClipboardSequenceNumber() != clipboardBefore && GetClipboardOwner() == field) {
        std::wstring copied;
        WithClipboardText(field, [&](std::wstring_view text) { copied.assign(text); });
        if (copied.find(SoftBreak) != std::wstring::npos)
            SetClipboardText(field, WithoutSoftBreaks(copied));
    }
    if (Wraps(field))
        return;
    const std::wstring text = TextOfWindow(field);
    if (LongestRun(text) > LongestPiece) {
        const Selection selection = SelectionOf(field);
        SetFieldText(field, WithoutSoftBreaks(text),
                     {PlainPosition(text, selection.start), PlainPosition(text, selection.end)});
    }
}

// The soft break, if any, that ends right at `position` (going back) or starts
// there (going forward): where it starts or ends, else `position`.
DWORD AcrossSoftBreak(HWND field, DWORD position, bool back) {
    const auto line = static_cast<WPARAM>(SendMessageW(field, EM_LINEFROMCHAR, position, 0));
    const auto lineStart = static_cast<DWORD>(SendMessageW(field, EM_LINEINDEX, line, 0));
    if (back) {
        if (line == 0 || position != lineStart)
            return position;
        const auto previous = static_cast<DWORD>(SendMessageW(field, EM_LINEINDEX, line - 1, 0));
        const auto previousEnd =
            previous + static_cast<DWORD>(SendMessageW(field, EM_LINELENGTH, previous, 0));
        // A line break proper takes two characters, a soft break three.
        return previousEnd + SoftBreak.size() == position ? previousEnd : position;
    }
    const auto lineEnd =
        lineStart + static_cast<DWORD>(SendMessageW(field, EM_LINELENGTH, lineStart, 0));
    const LRESULT next = SendMessageW(field, EM_LINEINDEX, line + 1, 0);
    if (position != lineEnd || next < 0 || static_cast<DWORD>(next) != lineEnd + SoftBreak.size())
        return position;
    return static_cast<DWORD>(next);
}

// A key about to move or delete one character from a caret at a join of two
// pieces of a line: the caret first moves over the join, so that the key
// acts on the character beyond it as it would in one line.
void StepOverJoin(HWND field, Direction direction) {
    const Selection selection = SelectionOf(field);
    if (Wraps(field) || selection.start != selection.end)
        return;
    DWORD position = selection.end;
    for (DWORD across = AcrossSoftBreak(field, position, direction == Direction::Back);
         across != position;
         across = AcrossSoftBreak(field, position, direction == Direction::Back))
        position = across;
    if (position != selection.end)
        SendMessageW(field, EM_SETSEL, position, position);
}

LRESULT HandleFieldMessage(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
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
    case WM_KEYDOWN: {
        // A stock multi-line edit closes its window on Esc.
        if (wParam == VK_ESCAPE)
            return 0;
        // The stock edit copies and pastes on these keys without asking the
        // field: they go through the field's own clipboard handling instead.
        const bool shift = GetKeyState(VK_SHIFT) < 0;
        const bool control = GetKeyState(VK_CONTROL) < 0;
        if (GetKeyState(VK_MENU) >= 0) {
            if (wParam == VK_INSERT && (shift || control)) {
                SendMessageW(field, shift ? WM_PASTE : WM_COPY, 0, 0);
                return 0;
            }
            const Selection selection = SelectionOf(field);
            if (wParam == VK_DELETE && shift && !control && selection.end != selection.start) {
                SendMessageW(field, WM_CUT, 0, 0);
                return 0;
            }
            if ((wParam == VK_LEFT || wParam == VK_RIGHT || wParam == VK_DELETE) && !shift &&
                !control)
                StepOverJoin(field, wParam == VK_LEFT ? Direction::Back : Direction::Forward);
        }
        break;
    }
    case WM_CHAR:
        // The stock multi-line edit has no select-all key.
        if (wParam == CtrlA) {
            SendMessageW(field, EM_SETSEL, 0, -1);
            return 0;
        }
        if (wParam == L'\t' || wParam == Escape)
            return 0;
        if (wParam == VK_BACK && GetKeyState(VK_CONTROL) >= 0)
            StepOverJoin(field, Direction::Back);
        break;
    case WM_PASTE:
        PasteClipboard(field, false);
        return 0;
    case WM_COPY:
        CopySelection(field);
        return 0;
    case WM_CUT:
        // Removed only once it is safe on the clipboard: another program
        // may hold the clipboard open.
        if (CopySelection(field))
            SendMessageW(field, WM_CLEAR, 0, 0);
        return 0;
    case WM_CONTEXTMENU: {
        const DWORD clipboard = GetClipboardSequenceNumber();
        const LRESULT result = DefSubclassProc(field, message, wParam, lParam);
        TidyAfterMenu(field, clipboard);
        return result;
    }
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
        CreateChild(setup, L"Edit", style, WS_EX_CLIENTEDGE, FieldWindowText(setup.plan.caption));
    if (!field)
        return nullptr;
    SendMessageW(field, EM_SETLIMITTEXT, TextLimit, 0);
    Subclass<HandleFieldMessage>(field);
    return field;
}

bool Wraps(HWND field) { return !(GetWindowLongW(field, GWL_STYLE) & ES_AUTOHSCROLL); }

void SetFieldText(HWND field, std::wstring_view plain, TextRange selection) {
    const std::wstring text = FieldText(plain, PieceLengthFor(field));
    SetWindowTextW(field, text.c_str());
    SendMessageW(field, EM_SETSEL, PositionWithSoftBreaks(text, selection.start),
                 PositionWithSoftBreaks(text, selection.end));
    SendMessageW(field, EM_SCROLLCARET, 0, 0);
}

namespace {

// A field's value has every line break as "\n" and never a soft break.
std::wstring FieldWindowText(std::string_view text) { return FieldText(WideFromUtf8(text), 0); }

std::string FieldLayerText(std::wstring_view text) { return LayerText(WithoutSoftBreaks(text)); }

} // namespace

bool ShouldWrap(HWND field, std::size_t length) {
    // Halfway back before it wraps again, so that typing at the limit does
    // not make the field anew at every key.
    return length <= (Wraps(field) ? LongestWrappedText : LongestWrappedText / 2);
}

const ControlClass TextBoxClass{Create, FieldWindowText, FieldLayerText, Fits};

} // namespace quimbel::ui::win32
