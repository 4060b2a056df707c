// A field: a multi-line Edit that wraps at its width, takes any amount of
// text, and keeps Enter for line breaks while Tab moves on.
//
// Some edit controls (Wine's among them) lay out a wrapped paragraph in time
// that grows with the square of its length: a megabyte would take hours. A
// field holding a text that long shows it on unwrapped lines instead, and is
// made anew in its place when the length crosses the limit.
//
// Unwrapped, the edit control still measures a whole line at every key, so a
// pasted megabyte on one line would cost half a second a key. There a long
// line is held in pieces joined by soft breaks, which the control shows as
// line breaks and moves over as one; the field leaves them out wherever its
// text leaves it: its value, copy and cut, and what the field answers to
// anyone who asks for its text.
//
// The stock control's single Undo works in its own positions, soft breaks
// included, and is lost when the field is made anew: the field keeps its own
// history of edits instead, in positions of the user's text, found by
// comparing the text after each message with the text before it.

#include "Win32Clipboard.h"
#include "Win32Private.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <vector>

namespace quimbel::ui::win32 {

HWND CreateField(const ControlSetup& setup, bool wrapping);
bool Wraps(HWND field);
// Whether the field should show a text of `length` characters wrapped.
bool ShouldWrap(HWND field, std::size_t length);
// Positions in a text, start to end.
struct TextRange {
    std::size_t start = 0;
    std::size_t end = 0;
};
// The clipboard's text in place of the field's selection, every line break
// made the field's own and long lines in pieces where it does not wrap. A
// wrapping field that the text would make too long is made anew unwrapped
// first, unless `evenIfTooLongToWrap`.
void PasteClipboard(HWND field, bool evenIfTooLongToWrap);
// Replaces the field's text with `plain` (a field's text without soft
// breaks), in pieces where it does not wrap, and selects `selection` of it.
// Undo and Redo start a new history: the program's text is not undone. With
// `keepHistory` the text must be the same, pieced anew.
void SetFieldText(HWND field, std::wstring_view plain, TextRange selection = {},
                  bool keepHistory = false);
// What the user can undo and redo goes with the text into a field made anew.
void MoveFieldHistory(HWND from, HWND to);
enum class FieldStep : WPARAM { Undo, Redo };
// Undoes or redoes the field's last edit; false when there was none. A field
// that would become too long to wrap is made anew unwrapped first, unless
// `evenIfTooLongToWrap`.
bool StepField(HWND field, FieldStep step, bool evenIfTooLongToWrap);

namespace {

// What Windows lets a user type or paste into an edit at the most.
constexpr WPARAM TextLimit = 0x7FFFFFFE;
constexpr WPARAM CtrlA = 1;
constexpr WPARAM CtrlY = 0x19;
constexpr WPARAM CtrlZ = 0x1A;
constexpr WPARAM Escape = 0x1B;
// What a field asks to be done once its message is over (AskLater): made
// anew if its length asks for it, or unwrapped and then to paste, undo or
// redo.
namespace Remake {
constexpr LPARAM Check = 0;
constexpr LPARAM ThenPaste = 1;
constexpr LPARAM ThenUndo = 2;
constexpr LPARAM ThenRedo = 3;
} // namespace Remake

// About 0.5 s to wrap under Wine, already hundreds of lines in a field.
constexpr std::size_t LongestWrappedText = 8192;
// A piece of a long line: measured in about a millisecond under Wine.
constexpr std::size_t PieceLength = 2048;
// A line that grew this long by other means than our own paste is cut again.
constexpr std::size_t LongestPiece = 4 * PieceLength;

LRESULT HandleFieldMessage(HWND field, UINT message, WPARAM wParam, LPARAM lParam);
// What a field answers with the text as the control holds it, soft breaks
// included (a const std::wstring*).
constexpr UINT HeldTextMessage = WM_APP + 3;
// Undo or redo (wParam a FieldStep), lParam true even if too long to wrap.
constexpr UINT StepMessage = WM_APP + 4;
// A message for the control itself, in its own positions (lParam a
// StockCall*): the field answers others in the positions of the user's text.
constexpr UINT StockMessage = WM_APP + 5;
struct StockCall {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

LRESULT Stock(HWND field, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    StockCall call{message, wParam, lParam};
    return SendMessageW(field, StockMessage, 0, reinterpret_cast<LPARAM>(&call));
}
std::wstring FieldWindowText(std::string_view text);

enum class Direction { Back, Forward };

struct Selection {
    DWORD start = 0;
    DWORD end = 0;
};

Selection SelectionOf(HWND field) {
    Selection selection;
    Stock(field, EM_GETSEL, reinterpret_cast<WPARAM>(&selection.start),
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
    const std::wstring& text = HeldText(field);
    return SetClipboardText(field, WithoutSoftBreaks(std::wstring_view(text).substr(
                                       selection.start, selection.end - selection.start)));
}

std::size_t LineStart(HWND field, DWORD position) {
    const LRESULT line = Stock(field, EM_LINEFROMCHAR, position);
    return static_cast<std::size_t>(Stock(field, EM_LINEINDEX, static_cast<WPARAM>(line)));
}

std::size_t LineEnd(HWND field, DWORD position) {
    const std::size_t start = LineStart(field, position);
    return start + static_cast<std::size_t>(Stock(field, EM_LINELENGTH, start));
}

// How long the last line of a field's text runs, the first counted from `column`.
std::size_t LastRun(std::wstring_view text, std::size_t column) {
    const std::size_t lastBreak = text.rfind(L'\n');
    return lastBreak == std::wstring_view::npos ? column + text.size()
                                                : text.size() - lastBreak - 1;
}

// One edit in the user's text: `removed` taken out at `at`, `inserted` put
// in its place. Line breaks are "\r\n", never a soft break, and no edit
// starts or ends between the two halves of a line break.
struct FieldEdit {
    std::size_t at = 0;
    std::wstring removed;
    std::wstring inserted;
    // Made by a typed key: typing, BackSpace and Delete run on in one edit.
    bool typed = false;
};

struct FieldHistory {
    // The control's text as it holds it, soft breaks included, as of the
    // last message the field handled.
    std::wstring held;
    std::size_t softBreaks = 0;
    // The text before the last, kept to read the next into without
    // allocating megabytes at every key.
    std::wstring spare;
    std::vector<FieldEdit> undo;
    std::vector<FieldEdit> redo;
    // Replacing text while undoing or redoing, or re-piecing the same text.
    bool applying = false;
    bool keepHistory = false;
    // The message being handled is a typed key.
    bool typing = false;
    // ... with nothing selected before it: its edit is next to the caret.
    bool typingAtCaret = false;
};

constexpr wchar_t HistoryProperty[] = L"Quimbel.FieldHistory";

FieldHistory* HistoryOf(HWND field) {
    return static_cast<FieldHistory*>(GetPropW(field, HistoryProperty));
}

std::size_t CountSoftBreaks(std::wstring_view text) {
    std::size_t count = 0;
    for (std::size_t found = text.find(SoftBreak); found != std::wstring_view::npos;
         found = text.find(SoftBreak, found + SoftBreak.size()))
        ++count;
    return count;
}

// The control's own text, without asking the field, into `text`.
void ReadStockText(HWND field, std::wstring& text) {
    const auto length = static_cast<std::size_t>(DefSubclassProc(field, WM_GETTEXTLENGTH, 0, 0));
    text.resize(length + 1);
    const LRESULT copied =
        DefSubclassProc(field, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
}

std::wstring StockText(HWND field) {
    std::wstring text;
    ReadStockText(field, text);
    return text;
}

// PlainPosition, knowing that `text` holds `softBreaks` of them: counted on
// the shorter side of `position`, so that a key near either end of a
// megabyte costs little.
std::size_t PlainPositionIn(std::wstring_view text, std::size_t position, std::size_t softBreaks) {
    position = std::min(position, text.size());
    if (position <= text.size() / 2)
        return PlainPosition(text, position);
    const std::size_t after = CountSoftBreaks(text.substr(position));
    std::size_t plain = position - (softBreaks - after) * SoftBreak.size();
    // One that the position cuts counts only up to it.
    for (std::size_t back = 1; back < SoftBreak.size() && back <= position; ++back)
        if (text.substr(position - back, SoftBreak.size()) == SoftBreak)
            plain += SoftBreak.size() - back;
    return plain;
}

// How many characters `a` and `b` have the same at their start, or at their
// end: compared eight bytes at a time.
std::size_t SameStart(std::wstring_view a, std::wstring_view b) {
    const std::size_t most = std::min(a.size(), b.size());
    constexpr std::size_t Step = sizeof(std::uint64_t) / sizeof(wchar_t);
    std::size_t i = 0;
    for (; i + Step <= most; i += Step) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a.data() + i, sizeof x);
        std::memcpy(&y, b.data() + i, sizeof y);
        if (x != y)
            break;
    }
    while (i < most && a[i] == b[i])
        ++i;
    return i;
}

std::size_t SameEnd(std::wstring_view a, std::wstring_view b, std::size_t most) {
    constexpr std::size_t Step = sizeof(std::uint64_t) / sizeof(wchar_t);
    std::size_t i = 0;
    for (; i + Step <= most; i += Step) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a.data() + a.size() - i - Step, sizeof x);
        std::memcpy(&y, b.data() + b.size() - i - Step, sizeof y);
        if (x != y)
            break;
    }
    while (i < most && a[a.size() - 1 - i] == b[b.size() - 1 - i])
        ++i;
    return i;
}

// The edit that turned `before` into `after`, both as the control holds
// them, in the user's positions; false when they are the same. Where a
// character is typed or deleted next to the same character, any of them
// could be the one: `caret`, where the caret is after a typed key, tells.
// `softBreaks` counts those `before` holds, and becomes the count `after`
// holds.
bool EditBetween(std::wstring_view before, std::wstring_view after, std::size_t& softBreaks,
                 std::optional<std::size_t> heldCaret, FieldEdit& edit) {
    const std::size_t prefix = SameStart(before, after);
    if (prefix == before.size() && prefix == after.size())
        return false;
    const std::size_t suffix =
        SameEnd(before, after, std::min(before.size(), after.size()) - prefix);
    // Whole lines of the control, so that no line break or soft break is cut
    // in two, then narrowed down again in the user's text.
    const std::size_t lineBreak =
        prefix == 0 ? std::wstring_view::npos : before.find_last_of(L'\n', prefix - 1);
    const std::size_t start = lineBreak == std::wstring_view::npos ? 0 : lineBreak + 1;
    const std::size_t next = before.find(L'\n', before.size() - suffix);
    const std::size_t tail = next == std::wstring_view::npos ? 0 : before.size() - next - 1;
    const std::wstring_view wasHeld = before.substr(start, before.size() - tail - start);
    const std::wstring_view isHeld = after.substr(start, after.size() - tail - start);
    const std::size_t plainStart = PlainPositionIn(before, start, softBreaks);
    softBreaks = softBreaks - CountSoftBreaks(wasHeld) + CountSoftBreaks(isHeld);
    const std::wstring was = WithoutSoftBreaks(wasHeld);
    const std::wstring is = WithoutSoftBreaks(isHeld);
    std::size_t same = 0;
    while (same < was.size() && same < is.size() && was[same] == is[same])
        ++same;
    if (same > 0 && was[same - 1] == L'\r')
        --same;
    std::size_t sameEnd = 0;
    while (sameEnd < was.size() - same && sameEnd < is.size() - same &&
           was[was.size() - 1 - sameEnd] == is[is.size() - 1 - sameEnd])
        ++sameEnd;
    while (sameEnd > 0 && was[was.size() - sameEnd] == L'\n')
        --sameEnd;
    edit.at = plainStart + same;
    edit.removed = was.substr(same, was.size() - same - sameEnd);
    edit.inserted = is.substr(same, is.size() - same - sameEnd);
    if (!heldCaret || edit.removed.empty() == edit.inserted.empty())
        return true;
    const std::size_t caret = PlainPositionIn(after, *heldCaret, softBreaks);
    // Moved back along a run of the same characters to where the key acted.
    std::wstring& moved = edit.removed.empty() ? edit.inserted : edit.removed;
    const std::size_t wanted = edit.removed.empty() ? caret - std::min(caret, moved.size()) : caret;
    std::wstring turned = moved;
    std::size_t at = edit.at;
    for (std::size_t back = same; at > wanted && back > 0 && was[back - 1] == turned.back();
         --back, --at) {
        turned.insert(turned.begin(), turned.back());
        turned.pop_back();
    }
    if (at == wanted) {
        edit.at = at;
        moved = std::move(turned);
    }
    return true;
}

// A typed key's edit running on from the last one: one Undo takes back the
// whole run, as in a stock edit.
bool RunsOn(FieldEdit& last, const FieldEdit& edit) {
    if (!last.typed || !edit.typed)
        return false;
    if (edit.removed.empty() && edit.at == last.at + last.inserted.size()) {
        last.inserted += edit.inserted;
        return true;
    }
    if (!edit.inserted.empty() || !last.inserted.empty())
        return false;
    if (edit.at + edit.removed.size() == last.at) {
        last.at = edit.at;
        last.removed.insert(0, edit.removed);
        return true;
    }
    if (edit.at == last.at) {
        last.removed += edit.removed;
        return true;
    }
    return false;
}

// The control's lines around `position`, the one before and the one after
// included, breaks and all: where in its text they start, and they; false
// when they could not be read whole.
bool ReadLinesAround(HWND field, std::size_t position, std::size_t length, std::size_t& from,
                     std::wstring& lines) {
    const auto count = static_cast<std::size_t>(DefSubclassProc(field, EM_GETLINECOUNT, 0, 0));
    const auto line =
        static_cast<std::size_t>(DefSubclassProc(field, EM_LINEFROMCHAR, position, 0));
    const std::size_t first = line > 0 ? line - 1 : 0;
    const std::size_t last = std::min(line + 1, count - 1);
    const auto indexOf = [&](std::size_t l) -> std::size_t {
        return l < count ? static_cast<std::size_t>(DefSubclassProc(field, EM_LINEINDEX, l, 0))
                         : length;
    };
    from = indexOf(first);
    lines.clear();
    for (std::size_t l = first; l <= last; ++l) {
        const std::size_t start = indexOf(l);
        const auto size = static_cast<std::size_t>(DefSubclassProc(field, EM_LINELENGTH, start, 0));
        const std::size_t at = lines.size();
        // EM_GETLINE takes the room in the buffer's first character.
        lines.resize(at + std::max<std::size_t>(size, 1));
        lines[at] = static_cast<wchar_t>(std::min<std::size_t>(size, 0xFFFF));
        if (size > 0xFFFF)
            return false;
        const auto copied = static_cast<std::size_t>(
            DefSubclassProc(field, EM_GETLINE, l, reinterpret_cast<LPARAM>(lines.data() + at)));
        if (copied != size)
            return false;
        lines.resize(at + size);
        const std::size_t gap = indexOf(l + 1) - start - size;
        if (gap == 2)
            lines += L"\r\n";
        else if (gap == SoftBreak.size())
            lines += SoftBreak;
        else if (gap != 0 || l + 1 < count)
            return false;
    }
    return from + lines.size() == indexOf(last + 1);
}

void Note(FieldHistory& history, FieldEdit&& edit) {
    if (history.applying)
        return;
    edit.typed = history.typing;
    history.redo.clear();
    if (history.undo.empty() || !RunsOn(history.undo.back(), edit))
        history.undo.push_back(std::move(edit));
}

// A typed key's edit, found from the control's lines next to the caret
// alone: in a megabyte, reading and comparing the whole text at every key
// would be felt. False, with nothing changed, where those lines do not fit
// the text as it was.
bool CatchTyped(HWND field, FieldHistory& history, std::size_t length) {
    DWORD start = 0;
    DWORD caret = 0;
    DefSubclassProc(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                    reinterpret_cast<LPARAM>(&caret));
    std::size_t from = 0;
    std::wstring& lines = history.spare;
    if (!ReadLinesAround(field, caret, length, from, lines))
        return false;
    const std::wstring& held = history.held;
    const std::size_t to = from + lines.size();
    // The same text after the lines, and the lines start and end as lines.
    if (to + held.size() < length || to + held.size() - length < from)
        return false;
    const std::size_t heldTo = to + held.size() - length;
    if ((from > 0 && (from > held.size() || held[from - 1] != L'\n')) ||
        (heldTo < held.size() && (heldTo == 0 || held[heldTo - 1] != L'\n')) ||
        (to < length && (lines.empty() || lines.back() != L'\n')))
        return false;
    const std::wstring_view was = std::wstring_view(held).substr(from, heldTo - from);
    std::size_t softBreaks = CountSoftBreaks(was);
    const std::size_t wasBreaks = softBreaks;
    FieldEdit edit;
    if (EditBetween(was, lines, softBreaks, caret - from, edit)) {
        edit.at += PlainPositionIn(held, from, history.softBreaks);
        history.softBreaks = history.softBreaks - wasBreaks + softBreaks;
        history.held.replace(from, heldTo - from, lines);
        Note(history, std::move(edit));
    }
    return true;
}

// Brings the history up to the control's text, noting what changed since.
// Every edit of the user's sets the control's modified flag; one of the
// same length without it is only looked for when `surely`.
void Catch(HWND field, FieldHistory& history, bool surely = false) {
    const auto length = static_cast<std::size_t>(DefSubclassProc(field, WM_GETTEXTLENGTH, 0, 0));
    if (!surely && !DefSubclassProc(field, EM_GETMODIFY, 0, 0) && length == history.held.size())
        return;
    DefSubclassProc(field, EM_SETMODIFY, FALSE, 0);
    // A wrapping field's text is short enough to read whole.
    if (history.typing && history.typingAtCaret && !Wraps(field) &&
        CatchTyped(field, history, length))
        return;
    std::wstring& now = history.spare;
    ReadStockText(field, now);
    std::optional<std::size_t> caret;
    if (history.typing) {
        DWORD start = 0;
        DWORD end = 0;
        DefSubclassProc(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                        reinterpret_cast<LPARAM>(&end));
        caret = end;
    }
    FieldEdit edit;
    if (EditBetween(history.held, now, history.softBreaks, caret, edit))
        Note(history, std::move(edit));
    history.held.swap(now);
}

// The user's text, as much of it as `room` takes with its terminating zero.
LRESULT CopyUserText(const FieldHistory& history, wchar_t* buffer, std::size_t room) {
    if (!buffer || room == 0)
        return 0;
    const std::wstring text = WithoutSoftBreaks(history.held);
    const std::size_t count = std::min(text.size(), room - 1);
    std::copy_n(text.data(), count, buffer);
    buffer[count] = L'\0';
    return static_cast<LRESULT>(count);
}

} // namespace

namespace {

// `text` as it goes in place of the field's selection: line breaks made the
// field's own and, where the field does not wrap, long lines in pieces that
// go on from the piece the selection starts in, the last one stopping short
// of the rest of its line.
std::wstring TextForSelection(HWND field, std::wstring_view pasted) {
    if (Wraps(field))
        return FieldText(pasted, 0);
    const Selection selection = SelectionOf(field);
    const std::size_t column = selection.start - LineStart(field, selection.start);
    const std::size_t rest = LineEnd(field, selection.end) - selection.end;
    std::wstring text = FieldText(pasted, PieceLength, column);
    if (rest > 0 && LastRun(text, column) + rest > PieceLength)
        text.append(SoftBreak);
    return text;
}

} // namespace

void PasteClipboard(HWND field, bool evenIfTooLongToWrap) {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT))
        return;
    std::optional<std::wstring> text;
    bool tooLong = false;
    WithClipboardText(field, [&](std::wstring_view pasted) {
        const Selection selection = SelectionOf(field);
        const std::size_t length = HeldText(field).size();
        tooLong = !evenIfTooLongToWrap && Wraps(field) &&
                  length - std::min<std::size_t>(selection.end - selection.start, length) +
                          pasted.size() >
                      LongestWrappedText;
        if (!tooLong)
            text = TextForSelection(field, pasted);
    });
    if (tooLong) {
        AskLater(field, Remake::ThenPaste);
        return;
    }
    // A clipboard that could not be read leaves the selection as it is.
    if (text)
        Stock(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text->c_str()));
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
    const std::wstring& text = HeldText(field);
    if (LongestRun(text) > LongestPiece) {
        const Selection selection = SelectionOf(field);
        // The same text pieced anew: what the user can undo stays.
        SetFieldText(field, WithoutSoftBreaks(text),
                     {PlainPosition(text, selection.start), PlainPosition(text, selection.end)},
                     true);
    }
}

// The soft break, if any, that ends right at `position` (going back) or starts
// there (going forward): where it starts or ends, else `position`.
DWORD AcrossSoftBreak(HWND field, DWORD position, bool back) {
    const auto line = static_cast<WPARAM>(Stock(field, EM_LINEFROMCHAR, position));
    const auto lineStart = static_cast<DWORD>(Stock(field, EM_LINEINDEX, line));
    if (back) {
        if (line == 0 || position != lineStart)
            return position;
        const auto previous = static_cast<DWORD>(Stock(field, EM_LINEINDEX, line - 1));
        const auto previousEnd =
            previous + static_cast<DWORD>(Stock(field, EM_LINELENGTH, previous));
        // A line break proper takes two characters, a soft break three.
        return previousEnd + SoftBreak.size() == position ? previousEnd : position;
    }
    const auto lineEnd = lineStart + static_cast<DWORD>(Stock(field, EM_LINELENGTH, lineStart));
    const LRESULT next = Stock(field, EM_LINEINDEX, line + 1);
    if (position != lineEnd || next < 0 || static_cast<DWORD>(next) != lineEnd + SoftBreak.size())
        return position;
    return static_cast<DWORD>(next);
}

// A key about to move or delete one character from a caret at a join of two
// pieces of a line: the caret first moves over the join, so that the key
// acts on the character beyond it as it would in one line.
//
// Every Left and Right comes here: read from the field's history, caught up
// with the control before the key, the check costs next to nothing, where
// asking the control for its lines took a third of the key's time in a long
// line, and keys sent quickly queued up behind it.
void StepOverJoin(HWND field, Direction direction) {
    if (Wraps(field))
        return;
    if (const FieldHistory* history = HistoryOf(field)) {
        DWORD start = 0;
        DWORD end = 0;
        DefSubclassProc(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                        reinterpret_cast<LPARAM>(&end));
        const std::wstring& held = history->held;
        if (start != end || end > held.size())
            return;
        std::size_t position = end;
        if (direction == Direction::Back)
            while (position >= SoftBreak.size() &&
                   held.compare(position - SoftBreak.size(), SoftBreak.size(), SoftBreak) == 0)
                position -= SoftBreak.size();
        else
            while (held.compare(position, SoftBreak.size(), SoftBreak) == 0)
                position += SoftBreak.size();
        if (position != end)
            DefSubclassProc(field, EM_SETSEL, position, position);
        return;
    }
    const Selection selection = SelectionOf(field);
    if (selection.start != selection.end)
        return;
    DWORD position = selection.end;
    for (DWORD across = AcrossSoftBreak(field, position, direction == Direction::Back);
         across != position;
         across = AcrossSoftBreak(field, position, direction == Direction::Back))
        position = across;
    if (position != selection.end)
        Stock(field, EM_SETSEL, position, position);
}

// While the field replaces text of its own accord.
class Applying {
public:
    explicit Applying(bool& flag) : flag_(flag) { flag_ = true; }
    ~Applying() { flag_ = false; }
    Applying(const Applying&) = delete;
    Applying& operator=(const Applying&) = delete;

private:
    bool& flag_;
};

// Takes back the last edit, or makes again the last one taken back; true
// when there was one. A text too long to wrap first has the window make the
// field anew, unwrapped, unless `evenIfTooLongToWrap`.
bool Step(HWND field, FieldHistory& history, FieldStep step, bool evenIfTooLongToWrap) {
    Catch(field, history);
    const bool back = step == FieldStep::Undo;
    std::vector<FieldEdit>& from = back ? history.undo : history.redo;
    if (from.empty())
        return false;
    FieldEdit edit = from.back();
    const std::wstring& shown = back ? edit.inserted : edit.removed;
    const std::wstring& wanted = back ? edit.removed : edit.inserted;
    const std::size_t length = history.held.size() - history.softBreaks * SoftBreak.size();
    if (!evenIfTooLongToWrap && Wraps(field) &&
        length - shown.size() + wanted.size() > LongestWrappedText) {
        AskLater(field, back ? Remake::ThenUndo : Remake::ThenRedo);
        return true;
    }
    from.pop_back();
    const std::wstring& held = history.held;
    const std::size_t start = PositionWithSoftBreaks(held, edit.at);
    const std::size_t end = PositionWithSoftBreaks(held, edit.at + shown.size());
    const std::size_t lineBreak = start == 0 ? std::wstring::npos : held.rfind(L'\n', start - 1);
    const std::size_t column = start - (lineBreak == std::wstring::npos ? 0 : lineBreak + 1);
    std::wstring text = FieldText(wanted, PieceLengthFor(field), column);
    // As a paste: the last piece stops short of the rest of its line.
    const std::size_t lineEnd = std::min(held.find(L'\r', end), held.size());
    if (PieceLengthFor(field) && lineEnd > end &&
        LastRun(text, column) + lineEnd - end > PieceLength)
        text.append(SoftBreak);
    {
        const Applying applying(history.applying);
        DefSubclassProc(field, EM_SETSEL, start, end);
        DefSubclassProc(field, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
        Catch(field, history, true);
    }
    DefSubclassProc(field, EM_SETSEL, PositionWithSoftBreaks(history.held, edit.at),
                    PositionWithSoftBreaks(history.held, edit.at + wanted.size()));
    DefSubclassProc(field, EM_SCROLLCARET, 0, 0);
    edit.typed = false;
    (back ? history.redo : history.undo).push_back(std::move(edit));
    return true;
}

LRESULT HandleFieldKeys(HWND field, UINT message, WPARAM wParam, LPARAM lParam);

// Every message passes here: what it changed goes into the field's history.
LRESULT HandleFieldMessage(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    FieldHistory* history = HistoryOf(field);
    if (!history)
        return HandleFieldKeys(field, message, wParam, lParam);
    switch (message) {
    case WM_GETOBJECT:
        // A screen reader's question changes nothing: it goes straight on.
        return DefSubclassProc(field, message, wParam, lParam);
    case WM_NCDESTROY:
        RemovePropW(field, HistoryProperty);
        delete history;
        return DefSubclassProc(field, message, wParam, lParam);
    case WM_SETTEXT: {
        // Text set by the program is not undone, as in a stock edit, unless
        // it is the same text pieced anew.
        const LRESULT result = DefSubclassProc(field, message, wParam, lParam);
        DefSubclassProc(field, EM_SETMODIFY, FALSE, 0);
        history->held = StockText(field);
        history->softBreaks = CountSoftBreaks(history->held);
        history->spare = std::wstring();
        if (!history->keepHistory) {
            history->undo.clear();
            history->redo.clear();
        }
        return result;
    }
    case WM_GETTEXTLENGTH:
        Catch(field, *history);
        return static_cast<LRESULT>(history->held.size() - history->softBreaks * SoftBreak.size());
    case WM_GETTEXT:
        Catch(field, *history);
        return CopyUserText(*history, reinterpret_cast<wchar_t*>(lParam),
                            static_cast<std::size_t>(wParam));
    case HeldTextMessage:
        Catch(field, *history);
        return reinterpret_cast<LRESULT>(&history->held);
    case EM_CANUNDO:
        Catch(field, *history);
        return !history->undo.empty();
    case EM_EMPTYUNDOBUFFER:
        Catch(field, *history);
        history->undo.clear();
        history->redo.clear();
        return DefSubclassProc(field, message, wParam, lParam);
    case EM_UNDO:
    case WM_UNDO:
        return Step(field, *history, FieldStep::Undo, false);
    case StepMessage:
        return Step(field, *history, static_cast<FieldStep>(wParam), lParam != FALSE);
    case WM_SYSKEYDOWN:
        // Alt+BackSpace undoes, as in a stock edit.
        if (wParam == VK_BACK) {
            Step(field, *history, FieldStep::Undo, false);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == CtrlZ || wParam == CtrlY) {
            Step(field, *history, wParam == CtrlZ ? FieldStep::Undo : FieldStep::Redo, false);
            return 0;
        }
        break;
    case EM_GETSEL: {
        Catch(field, *history);
        DWORD start = 0;
        DWORD end = 0;
        DefSubclassProc(field, message, reinterpret_cast<WPARAM>(&start),
                        reinterpret_cast<LPARAM>(&end));
        const auto plainStart = static_cast<DWORD>(PlainPosition(history->held, start));
        const auto plainEnd = static_cast<DWORD>(PlainPosition(history->held, end));
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = plainStart;
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = plainEnd;
        return plainStart > 0xFFFF || plainEnd > 0xFFFF ? -1 : MAKELRESULT(plainStart, plainEnd);
    }
    case EM_SETSEL: {
        Catch(field, *history);
        // -1 keeps its meaning: no selection, or to the end.
        const auto held = [&](auto position) {
            return static_cast<LONG_PTR>(position) < 0
                       ? position
                       : static_cast<decltype(position)>(PositionWithSoftBreaks(
                             history->held, static_cast<std::size_t>(position)));
        };
        return DefSubclassProc(field, message, held(wParam), held(lParam));
    }
    case EM_LINEFROMCHAR:
    case EM_LINELENGTH:
    case EM_POSFROMCHAR:
        Catch(field, *history);
        return DefSubclassProc(field, message,
                               static_cast<LONG_PTR>(wParam) < 0
                                   ? wParam
                                   : PositionWithSoftBreaks(history->held, wParam),
                               lParam);
    case EM_LINEINDEX: {
        Catch(field, *history);
        const LRESULT index = DefSubclassProc(field, message, wParam, lParam);
        return index < 0 ? index
                         : static_cast<LRESULT>(
                               PlainPosition(history->held, static_cast<std::size_t>(index)));
    }
    case EM_REPLACESEL: {
        // Another's text made the field's own, as a paste.
        if (!lParam)
            return 0;
        const std::wstring text = TextForSelection(field, reinterpret_cast<const wchar_t*>(lParam));
        Stock(field, message, wParam, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    case StockMessage: {
        const auto& call = *reinterpret_cast<const StockCall*>(lParam);
        Catch(field, *history);
        const LRESULT result = DefSubclassProc(field, call.message, call.wParam, call.lParam);
        Catch(field, *history, call.message == EM_REPLACESEL);
        return result;
    }
    }
    // Anything before this message that was not caught yet is not its edit.
    Catch(field, *history);
    const bool typing = history->typing;
    const bool typingAtCaret = history->typingAtCaret;
    history->typing = message == WM_CHAR || (message == WM_KEYDOWN && wParam == VK_DELETE);
    if (history->typing) {
        DWORD start = 0;
        DWORD end = 0;
        DefSubclassProc(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                        reinterpret_cast<LPARAM>(&end));
        history->typingAtCaret = start == end;
    }
    const LRESULT result = HandleFieldKeys(field, message, wParam, lParam);
    Catch(field, *history);
    history->typing = typing;
    history->typingAtCaret = typingAtCaret;
    return result;
}

LRESULT HandleFieldKeys(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
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
    auto history = std::make_unique<FieldHistory>();
    history->held = TextOfWindow(field);
    history->softBreaks = CountSoftBreaks(history->held);
    if (!SetPropW(field, HistoryProperty, history.get()))
        return field;
    // Freed by the field when it goes.
    history.release();
    Subclass<HandleFieldMessage>(field);
    return field;
}

const std::wstring& HeldText(HWND field) {
    static const std::wstring none;
    const auto* held =
        reinterpret_cast<const std::wstring*>(SendMessageW(field, HeldTextMessage, 0, 0));
    return held ? *held : none;
}

void SelectHeld(HWND field, std::size_t start, std::size_t end) {
    Stock(field, EM_SETSEL, start, static_cast<LPARAM>(end));
}

bool StepField(HWND field, FieldStep step, bool evenIfTooLongToWrap) {
    return SendMessageW(field, StepMessage, static_cast<WPARAM>(step), evenIfTooLongToWrap) != 0;
}

void MoveFieldHistory(HWND from, HWND to) {
    FieldHistory* source = HistoryOf(from);
    FieldHistory* target = HistoryOf(to);
    if (!source || !target)
        return;
    target->undo = std::move(source->undo);
    target->redo = std::move(source->redo);
    source->undo.clear();
    source->redo.clear();
}

bool Wraps(HWND field) { return !(GetWindowLongW(field, GWL_STYLE) & ES_AUTOHSCROLL); }

void SetFieldText(HWND field, std::wstring_view plain, TextRange selection, bool keepHistory) {
    const std::wstring text = FieldText(plain, PieceLengthFor(field));
    FieldHistory* history = HistoryOf(field);
    if (history)
        history->keepHistory = keepHistory;
    SetWindowTextW(field, text.c_str());
    if (history)
        history->keepHistory = false;
    Stock(field, EM_SETSEL, PositionWithSoftBreaks(text, selection.start),
          PositionWithSoftBreaks(text, selection.end));
    Stock(field, EM_SCROLLCARET);
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

namespace {

// The field made anew, wrapping or not, with `text` (a field's text without
// soft breaks) and `selection` in it, and with `keepHistory` what the user
// can undo.
void MakeAnew(ControlSite& site, bool wrap, std::wstring_view text, TextRange selection,
              bool keepHistory) {
    const HWND old = site.Control();
    UniqueWindow field(CreateField(site.Setup(), wrap));
    // Without a new window the old one stays, slow but whole.
    if (!field) {
        SetFieldText(old, text, selection, keepHistory);
        return;
    }
    const UniqueWindow previous = site.Replace(std::move(field));
    SetFieldText(site.Control(), text, selection);
    if (keepHistory)
        MoveFieldHistory(previous.get(), site.Control());
}

// The same, with the field's own text, selection and history.
void MakeAnew(ControlSite& site, bool wrap) {
    const HWND old = site.Control();
    // A field answers without its soft breaks, in the user's positions.
    const std::wstring text = TextOfWindow(old);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(old, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    MakeAnew(site, wrap, text, {start, end}, true);
}

void SetText(ControlSite& site, std::wstring_view windowText) {
    const bool wrap = ShouldWrap(site.Control(), windowText.size());
    if (wrap != Wraps(site.Control()))
        MakeAnew(site, wrap, windowText, {}, false);
    else
        SetFieldText(site.Control(), windowText);
}

void Command(ControlSite& site, WORD code) {
    // Made anew once its own message is over.
    if (code != EN_CHANGE)
        return;
    const HWND field = site.Control();
    if (ShouldWrap(field, static_cast<std::size_t>(GetWindowTextLengthW(field))) != Wraps(field))
        AskLater(field, Remake::Check);
}

void Later(ControlSite& site, LPARAM what) {
    const HWND field = site.Control();
    const bool wrap = what == Remake::Check &&
                      ShouldWrap(field, static_cast<std::size_t>(GetWindowTextLengthW(field)));
    if (wrap != Wraps(field))
        MakeAnew(site, wrap);
    // Done even where no unwrapped field could be made: slow, but never
    // asked for again and again.
    if (what == Remake::ThenPaste)
        PasteClipboard(site.Control(), true);
    else if (what == Remake::ThenUndo || what == Remake::ThenRedo)
        StepField(site.Control(), what == Remake::ThenUndo ? FieldStep::Undo : FieldStep::Redo,
                  true);
}

// Tabbing into a field selects its text, as in any Windows dialog.
void SelectAll(HWND field) { SendMessageW(field, EM_SETSEL, 0, -1); }

} // namespace

const ControlClass TextBoxClass{.create = Create,
                                .toWindowText = FieldWindowText,
                                .fromWindowText = FieldLayerText,
                                .setText = SetText,
                                .command = Command,
                                .later = Later,
                                .tabbedInto = SelectAll};

} // namespace quimbel::ui::win32
