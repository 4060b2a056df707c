// A field: a multi-line text box that wraps at its width, takes any amount
// of text, and keeps Enter for line breaks while Tab moves on.
//
// It is a window class of our own rather than the stock edit control: some
// edit controls (Wine's among them) lay out a wrapped line in time that
// grows with the square of its length, so a pasted megabyte could not be
// shown wrapped, and cutting it into pieces showed through. Here the text is
// held once, as the user typed it; its rows are measured with a table of
// character widths, and an edit lays out again only the rows it moves. Undo
// and Redo keep every edit, in positions of the user's text.
//
// It answers the edit control's messages (WM_GETTEXT, EM_GETSEL, EM_SETSEL,
// EM_REPLACESEL, EM_UNDO, lines, ...) the way the stock one does, counting
// lines as the rows it shows, and tells its window of changes (EN_CHANGE)
// and screen readers of its value. UI Automation's clients get a provider of
// its own (Win32Automation.h), made when one first asks.

#include "Win32Automation.h"
#include "Win32Clipboard.h"
#include "Win32FieldModel.h"
#include "Win32Private.h"
#include "Win32Uniscribe.h"

#include <imm.h>
#include <oleacc.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace quimbel::ui::win32 {

namespace {

// What Windows lets a user type or paste into an edit at the most.
constexpr std::size_t DefaultLimit = 0x7FFFFFFE;

constexpr wchar_t CtrlA = 0x01;
constexpr wchar_t CtrlC = 0x03;
constexpr wchar_t CtrlV = 0x16;
constexpr wchar_t CtrlX = 0x18;
constexpr wchar_t CtrlY = 0x19;
constexpr wchar_t CtrlZ = 0x1A;
constexpr wchar_t CtrlBackSpace = 0x7F;

// The most an input method is offered to convert again: a selection longer
// than a few clauses is not something to reconvert. Around it, the rest of
// its rows, but no more than this on either side.
constexpr std::size_t MostReconverted = 1024;
constexpr std::size_t MostReconversionContext = 256;

// While a drag is outside the field, it scrolls on at this pace.
constexpr UINT_PTR DragTimer = 1;
constexpr UINT DragScrollMs = 50;

// The context menu's commands, as a stock edit has them.
enum MenuCommand : UINT { MenuUndo = 1, MenuCut, MenuCopy, MenuPaste, MenuDelete, MenuSelectAll };

// A context menu item the field draws in its own font: the menu font may
// have no Chinese (Wine's has none, where a stock edit's menu shows boxes),
// the field's has. Screen readers read its text from here, as from any
// owner-drawn item, so it comes first.
struct MenuItem {
    MSAAMENUINFO accessible;
    std::wstring text;
};

const MenuItem* MenuItemOf(ULONG_PTR data) {
    const auto* item = reinterpret_cast<const MenuItem*>(data);
    return item && item->accessible.dwMSAASignature == static_cast<DWORD>(MSAA_MENU_SIG) ? item
                                                                                         : nullptr;
}

class Field final : public AutomationField {
    friend class HandlingMessage;

public:
    explicit Field(HWND window) : window_(window) {}

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // The window is gone. The field itself stays until every message it is
    // handling has returned: a window told of a change may destroy the field
    // in its handler, and the field's own code then runs on.
    void WindowDestroyed() { destroyed_ = true; }
    // --- UI Automation: the provider made when a client asks reads and
    // moves the field through these.
    void ServeAutomation(AccessibilityServices& services, const ControlPlan& plan);
    HWND Window() const override { return window_; }
    std::wstring_view Text() const override { return content_.Text(); }
    std::size_t StopAfter(std::size_t position) const override;
    std::size_t StopBefore(std::size_t position) const override;
    std::size_t WordStartAfter(std::size_t position) const override;
    std::size_t WordStartBefore(std::size_t position) const override;
    std::size_t RowCount() const override { return rows_.Count(); }
    std::size_t RowStart(std::size_t row) const override { return rows_.Start(row); }
    std::size_t RowOf(std::size_t position) const override;
    std::size_t RowEnd(std::size_t row) const override;
    std::size_t SelectionStart() const override { return content_.SelectionStart(); }
    std::size_t SelectionEnd() const override { return content_.SelectionEnd(); }
    std::size_t Caret() const override { return content_.Caret(); }
    std::size_t FirstVisibleRow() const override { return firstRow_; }
    std::size_t VisibleRowCount() const override;
    RECT Box(std::size_t row, std::size_t from, std::size_t to) override;
    std::size_t StopNearest(POINT point) override;
    void SelectText(std::size_t start, std::size_t end) override;
    void ScrollIntoView(std::size_t position, bool alignToTop) override;
    void ReplaceText(std::wstring_view text) override;
    std::wstring FontName() const override;
    double FontPoints() const override;

private:
    // --- Layout
    void UseFont(HFONT font);
    int WrapWidth() const;
    void WrapAll();
    int VisibleRows() const;
    std::size_t CaretRow() const;
    int XOf(std::size_t row, std::size_t position);
    // The position nearest `x` in `row`; whether it is the wrapped row's end.
    std::size_t PositionIn(std::size_t row, int x, bool& atRowEnd);
    std::size_t PositionAt(POINT point, bool& atRowEnd);
    void ScrollTo(std::size_t firstRow);
    void ShowCaretRow();
    // The system caret, which magnifiers and screen readers follow.
    void MakeCaret();
    void PlaceCaret();
    void PlaceInputMethodWindows(POINT caret);

    // --- Drawing
    void Paint();
    // The client area into `target`: a paint's, through a bitmap off screen
    // when `buffered`, or a caller's (WM_PRINTCLIENT), straight into it.
    void Draw(HDC target, bool buffered);
    void PaintThemedBorder();
    void DrawRow(HDC dc, std::size_t row, int y, bool showSelection);

    // --- Selection and edits
    void MoveCaret(std::size_t position, bool extend, bool atRowEnd = false);
    void MoveByRows(int rows, bool extend);
    void Select(std::size_t anchor, std::size_t caret);
    // An edit of the user's, or of another program's through a message;
    // whether it was made, and the field lives on.
    bool Edit(std::size_t start, std::size_t end, std::wstring_view text, bool typed);
    // The rows laid out again as part of each edit.
    ChangeFollower RowsFollowing();
    // After the text, rows and history changed: shown and told. False when
    // the window told destroyed the field.
    bool Changed();
    void SetText(const wchar_t* text);
    bool StepHistory(bool undo);
    // Tells the window of `code`, as a stock edit does; false when its
    // handler destroyed the field, which must then leave everything alone.
    [[nodiscard]] bool Notify(WORD code);
    // An edit there was no memory for: the window is told and the user hears
    // it, and the field stays as it was.
    void NoRoom();

    // --- Keys, mouse and clipboard
    bool Key(WPARAM key);
    void Character(wchar_t character);
    void TypeCodePoint(char32_t codePoint);
    void MouseDown(POINT point, bool extend);
    void MouseMoved(POINT point);
    void ContextMenu(LPARAM at);
    bool MeasureMenuItem(MEASUREITEMSTRUCT& measure);
    bool DrawMenuItem(const DRAWITEMSTRUCT& draw);
    bool Copy();
    void Cut();
    void Paste();
    void DeleteSelection();

    // --- Edit control messages
    LRESULT Line(WPARAM line) const;
    LRESULT CopyText(wchar_t* buffer, std::size_t room) const;

    // --- An input method's questions
    LRESULT CharacterPosition(IMECHARPOSITION* asked);
    LRESULT ReconversionString(RECONVERTSTRING* into);
    LRESULT ConfirmReconversion(const RECONVERTSTRING* adjusted);

    HWND window_;
    FieldContent content_;
    // Where rows break and the caret stops, as Windows' text services say.
    UniscribeAnalysis analysis_;
    // What the analysis said, kept per block: a cache, so a reader's const
    // questions about caret stops may fill it too.
    mutable TextBreaks breaks_{analysis_};
    FieldRows rows_{breaks_};
    FontWidths widths_;
    HFONT font_ = nullptr;
    int lineHeight_ = 16;
    int caretWidth_ = 1;
    int margin_ = 1;
    int wrapWidth_ = 0;
    std::size_t firstRow_ = 0;
    // The caret shows at the end of a wrapped row, not the start of the next.
    bool atRowEnd_ = false;
    // Where Up and Down keep the caret, in pixels, while they move it.
    int goalX_ = -1;
    std::size_t limit_ = DefaultLimit;
    bool modified_ = false;
    bool selecting_ = false;
    // Where a drag last was, for scrolling on while it is held outside.
    POINT dragPoint_{};
    int wheel_ = 0;
    // The first half of a surrogate pair, typed before its second.
    wchar_t highSurrogate_ = 0;
    // What the input method was last offered to convert again: where it
    // starts in the text, and how long it is.
    std::size_t reconversionFrom_ = 0;
    std::size_t reconversionLength_ = 0;
    // Messages being handled, and whether the window is gone meanwhile.
    int handling_ = 0;
    bool destroyed_ = false;
    // Ctrl+BackSpace was pressed: the character it makes is not typed.
    bool controlBack_ = false;
    std::unique_ptr<FieldAutomation> automation_;
};

Field* FieldOf(HWND window) { return reinterpret_cast<Field*>(GetWindowLongPtrW(window, 0)); }

bool Held(int key) { return GetKeyState(key) < 0; }

// An object selected into a device context until the end of the scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~Selected() {
        if (previous_)
            SelectObject(dc_, previous_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A device context's state (font, colours, modes) put back at the end of the scope.
class SavedDc {
public:
    explicit SavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~SavedDc() {
        if (saved_)
            RestoreDC(dc_, saved_);
    }
    SavedDc(const SavedDc&) = delete;
    SavedDc& operator=(const SavedDc&) = delete;

private:
    HDC dc_;
    int saved_;
};

// -1 where a message takes it for "the caret's": read as 32 bits, as a stock
// edit does, since a 32-bit program's -1 arrives without its sign.
bool Negative(WPARAM value) { return static_cast<int>(value) < 0; }

// --- Layout --------------------------------------------------------------

void Field::UseFont(HFONT font) {
    font_ = font;
    widths_.Use(font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(widths_.Dc(), &metrics);
    lineHeight_ = std::max<int>(metrics.tmHeight, 1);
    // About what a stock edit leaves, and tab stops every eight average
    // Latin letters as there (a Chinese font's average is a wide figure).
    margin_ = std::max<int>(1, metrics.tmAveCharWidth / 4);
    widths_.Reset(8 * std::max(widths_.AverageLatinWidth(), 1));
    WrapAll();
}

int Field::WrapWidth() const {
    RECT client{};
    GetClientRect(window_, &client);
    return std::max<int>(client.right - 2 * margin_, 1);
}

void Field::WrapAll() {
    // The width kept only with the rows made for it.
    const int width = WrapWidth();
    rows_.Wrap(content_.Text(), width, widths_);
    wrapWidth_ = width;
    ScrollTo(firstRow_);
}

int Field::VisibleRows() const {
    RECT client{};
    GetClientRect(window_, &client);
    return std::max<int>(client.bottom / lineHeight_, 1);
}

std::size_t Field::CaretRow() const {
    return rows_.RowOf(content_.Text(), content_.Caret(), atRowEnd_);
}

int Field::XOf(std::size_t row, std::size_t position) {
    const std::wstring& text = content_.Text();
    const std::size_t start = rows_.Start(row);
    const std::wstring_view shown(text.data() + start, rows_.End(text, row) - start);
    if (widths_.NeedsShaping(shown)) {
        const ShapedRow shaped(widths_.Dc(), shown, widths_.Tab());
        if (shaped)
            return shaped.XOf(std::min(position, start + shown.size()) - start);
    }
    int x = 0;
    for (std::size_t at = rows_.Start(row); at < position && at < text.size();) {
        std::size_t units = 1;
        x += widths_.Of(text, at, x, units);
        at += units;
    }
    return x;
}

std::size_t Field::PositionIn(std::size_t row, int x, bool& atRowEnd) {
    const std::wstring& text = content_.Text();
    const std::size_t start = rows_.Start(row);
    const std::size_t end = rows_.End(text, row);
    std::size_t position = end;
    const std::wstring_view shown(text.data() + start, end - start);
    const auto shaped = widths_.NeedsShaping(shown)
                            ? std::make_unique<ShapedRow>(widths_.Dc(), shown, widths_.Tab())
                            : nullptr;
    if (shaped && *shaped) {
        // The character hit, right to left or not; past its middle, the
        // place after it.
        bool trailing = false;
        position = start + shaped->PositionAt(x, trailing);
        if (trailing)
            position = std::min(breaks_.NextStop(text, position), end);
    } else {
        int left = 0;
        for (std::size_t at = start; at < end;) {
            std::size_t units = 1;
            const int advance = widths_.Of(text, at, left, units);
            // Nearer the character's left edge than its right.
            if (x < left + advance / 2) {
                position = at;
                break;
            }
            left += advance;
            at += units;
        }
    }
    atRowEnd = position == end && row + 1 < rows_.Count() && rows_.Start(row + 1) == end;
    return breaks_.StopAtOrBefore(text, position);
}

std::size_t Field::PositionAt(POINT point, bool& atRowEnd) {
    const int row = point.y < 0 ? -1 - (-point.y - 1) / lineHeight_ : point.y / lineHeight_;
    const auto wanted = static_cast<long long>(firstRow_) + row;
    const auto last = static_cast<long long>(rows_.Count()) - 1;
    return PositionIn(static_cast<std::size_t>(std::clamp(wanted, 0LL, last)), point.x - margin_,
                      atRowEnd);
}

void Field::ScrollTo(std::size_t firstRow) {
    const std::size_t visible = static_cast<std::size_t>(VisibleRows());
    const std::size_t most = rows_.Count() > visible ? rows_.Count() - visible : 0;
    firstRow = std::min(firstRow, most);
    if (firstRow != firstRow_) {
        firstRow_ = firstRow;
        InvalidateRect(window_, nullptr, FALSE);
    }
}

void Field::ShowCaretRow() {
    const std::size_t row = CaretRow();
    const auto visible = static_cast<std::size_t>(VisibleRows());
    if (row < firstRow_)
        ScrollTo(row);
    else if (row >= firstRow_ + visible)
        ScrollTo(row + 1 - visible);
}

void Field::PaintThemedBorder() {
    // Under a visual style the border is the theme's, as a stock edit's is;
    // otherwise the classic edge Windows has drawn stays.
    if (!IsAppThemed())
        return;
    const HTHEME theme = OpenThemeData(window_, L"Edit");
    if (!theme)
        return;
    if (const HDC dc = GetWindowDC(window_)) {
        RECT window{};
        GetWindowRect(window_, &window);
        RECT client{};
        GetClientRect(window_, &client);
        MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&client), 2);
        OffsetRect(&client, -window.left, -window.top);
        OffsetRect(&window, -window.left, -window.top);
        ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
        const int state = !IsWindowEnabled(window_) ? ETS_DISABLED
                          : GetFocus() == window_   ? ETS_FOCUSED
                                                    : ETS_NORMAL;
        if (IsThemeBackgroundPartiallyTransparent(theme, EP_EDITBORDER_NOSCROLL, state))
            DrawThemeParentBackground(window_, dc, &window);
        DrawThemeBackground(theme, dc, EP_EDITBORDER_NOSCROLL, state, &window, nullptr);
        ReleaseDC(window_, dc);
    }
    CloseThemeData(theme);
}

void Field::MakeCaret() {
    UINT width = 1;
    SystemParametersInfoW(SPI_GETCARETWIDTH, 0, &width, 0);
    caretWidth_ = static_cast<int>(std::max<UINT>(width, 1));
    CreateCaret(window_, nullptr, caretWidth_, lineHeight_);
    PlaceCaret();
    ShowCaret(window_);
}

void Field::PlaceCaret() {
    if (GetFocus() != window_)
        return;
    const std::size_t row = CaretRow();
    const auto visible = static_cast<std::size_t>(VisibleRows());
    POINT at{-lineHeight_ * 4, -lineHeight_ * 4};
    if (row >= firstRow_ && row < firstRow_ + visible) {
        RECT client{};
        GetClientRect(window_, &client);
        // Blanks hanging past a row's end would take the caret out of sight.
        at = {std::min<int>(margin_ + XOf(row, content_.Caret()), client.right - caretWidth_),
              static_cast<int>(row - firstRow_) * lineHeight_};
    }
    SetCaretPos(at.x, at.y);
    PlaceInputMethodWindows(at);
}

void Field::PlaceInputMethodWindows(POINT caret) {
    const HIMC context = ImmGetContext(window_);
    if (!context)
        return;
    RECT client{};
    GetClientRect(window_, &client);
    // The composition starts at the caret and wraps within the field, never
    // past its right edge.
    COMPOSITIONFORM composition{};
    composition.dwStyle = CFS_RECT;
    composition.ptCurrentPos = caret;
    composition.rcArea = {margin_, 0, std::max<LONG>(client.right - margin_, margin_ + 1),
                          client.bottom};
    ImmSetCompositionWindow(context, &composition);
    // The candidates go anywhere but over the caret's row, which the user is
    // reading.
    CANDIDATEFORM candidates{};
    candidates.dwIndex = 0;
    candidates.dwStyle = CFS_EXCLUDE;
    candidates.ptCurrentPos = caret;
    candidates.rcArea = {0, caret.y, client.right, caret.y + lineHeight_};
    ImmSetCandidateWindow(context, &candidates);
    ImmReleaseContext(window_, context);
}

// --- Drawing -------------------------------------------------------------

void Field::Paint() {
    // Ended whatever happens while drawing: BeginPaint's device context is
    // given back and the caret it hid shows again.
    struct Painting {
        HWND window;
        PAINTSTRUCT paint{};
        HDC dc;
        explicit Painting(HWND w) : window(w), dc(BeginPaint(w, &paint)) {}
        ~Painting() {
            if (dc)
                EndPaint(window, &paint);
        }
        Painting(const Painting&) = delete;
        Painting& operator=(const Painting&) = delete;
    } painting(window_);
    if (painting.dc)
        Draw(painting.dc, true);
}

void Field::Draw(HDC target, bool buffered) {
    RECT client{};
    GetClientRect(window_, &client);
    // Drawn off screen and shown at once: no flicker while keys repeat.
    const UniqueDc dc(buffered ? CreateCompatibleDC(target) : nullptr);
    const UniqueBitmap bitmap(dc ? CreateCompatibleBitmap(target, std::max<LONG>(client.right, 1),
                                                          std::max<LONG>(client.bottom, 1))
                                 : nullptr);
    const bool offScreen = dc && bitmap;
    const HDC into = offScreen ? dc.get() : target;
    // Put back before the bitmap is deleted, and the target's state as the
    // caller had it, whatever happens while drawing.
    const Selected bitmapIn(offScreen ? dc.get() : nullptr, bitmap.get());
    const SavedDc saved(into);
    const bool enabled = IsWindowEnabled(window_) != FALSE;
    // The window decides the colours, as for a stock edit.
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(GetParent(window_), enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC,
                     reinterpret_cast<WPARAM>(into), reinterpret_cast<LPARAM>(window_)));
    if (!brush)
        brush = GetSysColorBrush(COLOR_WINDOW);
    FillRect(into, &client, brush);
    if (!enabled)
        SetTextColor(into, GetSysColor(COLOR_GRAYTEXT));
    SelectObject(into, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
    SetTextAlign(into, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    // A stock edit shows its selection only while it has the focus.
    const bool showSelection = GetFocus() == window_ && content_.HasSelection();
    // Whole rows only, as a stock edit shows them: a row cut in half at the
    // bottom would read as something else.
    const auto visible = static_cast<std::size_t>(VisibleRows());
    for (std::size_t row = firstRow_; row < rows_.Count() && row < firstRow_ + visible; ++row)
        DrawRow(into, row, static_cast<int>(row - firstRow_) * lineHeight_, showSelection);
    if (offScreen)
        BitBlt(target, 0, 0, client.right, client.bottom, into, 0, 0, SRCCOPY);
}

void Field::DrawRow(HDC dc, std::size_t row, int y, bool showSelection) {
    const std::wstring& text = content_.Text();
    const std::size_t start = rows_.Start(row);
    const std::size_t end = rows_.End(text, row);
    if (end <= start)
        return;
    const std::size_t selectionStart = std::clamp(content_.SelectionStart(), start, end) - start;
    const std::size_t selectionEnd = std::clamp(content_.SelectionEnd(), start, end) - start;
    // A row that needs more than its characters' advances is shaped and
    // drawn whole, its selection in the same pass.
    const std::wstring_view drawn(text.data() + start, end - start);
    if (widths_.NeedsShaping(drawn)) {
        const ShapedRow shaped(dc, drawn, widths_.Tab());
        if (shaped) {
            const int mode = SetBkMode(dc, TRANSPARENT);
            shaped.Draw(margin_, y, showSelection ? selectionStart : 0,
                        showSelection ? selectionEnd : 0);
            SetBkMode(dc, mode);
            return;
        }
    }
    // What is drawn, with each character's advance as measured: control
    // characters as blanks, a surrogate pair's advance on its first half.
    std::wstring shown(text, start, end - start);
    std::vector<int> advances(shown.size(), 0);
    int x = 0;
    for (std::size_t at = 0; at < shown.size();) {
        std::size_t units = 1;
        advances[at] = widths_.Of(text, start + at, x, units);
        x += advances[at];
        if (shown[at] < L' ')
            shown[at] = L' ';
        at += units;
    }
    int left = margin_;
    const auto draw = [&](std::size_t from, std::size_t to, bool selected) {
        if (to <= from)
            return;
        int width = 0;
        for (std::size_t i = from; i < to; ++i)
            width += advances[i];
        COLORREF usualText = 0;
        COLORREF usualBackground = 0;
        if (selected) {
            usualText = SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            usualBackground = SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
        }
        const RECT box{left, y, left + width, y + lineHeight_};
        ExtTextOutW(dc, left, y, selected ? ETO_OPAQUE : 0, &box, shown.data() + from,
                    static_cast<UINT>(to - from), advances.data() + from);
        if (selected) {
            SetTextColor(dc, usualText);
            SetBkColor(dc, usualBackground);
        }
        left += width;
    };
    const int mode = SetBkMode(dc, TRANSPARENT);
    if (showSelection) {
        draw(0, selectionStart, false);
        draw(selectionStart, selectionEnd, true);
        draw(selectionEnd, shown.size(), false);
    } else {
        draw(0, shown.size(), false);
    }
    SetBkMode(dc, mode);
}

// --- Selection and edits -------------------------------------------------

void Field::Select(std::size_t anchor, std::size_t caret) {
    const bool had = content_.HasSelection();
    const std::size_t anchorBefore = content_.Anchor();
    const std::size_t caretBefore = content_.Caret();
    content_.Select(anchor, caret);
    if (had || content_.HasSelection())
        InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
    if (automation_ && (content_.Anchor() != anchorBefore || content_.Caret() != caretBefore))
        automation_->SelectionChanged();
}

void Field::MoveCaret(std::size_t position, bool extend, bool atRowEnd) {
    atRowEnd_ = atRowEnd;
    goalX_ = -1;
    Select(extend ? content_.Anchor() : position, position);
    ShowCaretRow();
    PlaceCaret();
}

void Field::MoveByRows(int rows, bool extend) {
    const std::size_t row = CaretRow();
    if (goalX_ < 0)
        goalX_ = XOf(row, content_.Caret());
    const int goal = goalX_;
    // Up on the first row, or Down on the last, stays in it, as in a stock edit.
    const auto last = static_cast<long long>(rows_.Count()) - 1;
    const auto wanted = std::clamp(static_cast<long long>(row) + rows, 0LL, last);
    bool atRowEnd = false;
    const std::size_t position = PositionIn(static_cast<std::size_t>(wanted), goal, atRowEnd);
    MoveCaret(position, extend, atRowEnd);
    goalX_ = goal;
}

bool Field::Edit(std::size_t start, std::size_t end, std::wstring_view text, bool typed) {
    const std::size_t length = content_.Text().size();
    start = std::min(start, length);
    end = std::clamp(end, start, length);
    // No more than the limit takes, cut where a caret may stand.
    const std::size_t room = limit_ - std::min(limit_, length - (end - start));
    if (text.size() > room) {
        std::size_t fits = room;
        while (fits > 0 && !IsCaretStop(text, fits))
            --fits;
        text = text.substr(0, fits);
        if (!Notify(EN_MAXTEXT) || (text.empty() && start == end))
            return false;
    }
    try {
        content_.Replace(start, end, text, typed, RowsFollowing());
    } catch (const std::bad_alloc&) {
        NoRoom();
        return false;
    }
    return Changed();
}

ChangeFollower Field::RowsFollowing() {
    return [this](std::wstring_view text, const TextChange& change) {
        rows_.Follow(text, change, wrapWidth_, widths_);
    };
}

bool Field::Notify(WORD code) {
    SendMessageW(GetParent(window_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window_), code),
                 reinterpret_cast<LPARAM>(window_));
    return !destroyed_;
}

void Field::NoRoom() {
    // As a stock edit does; a Windows program has no standard error to write to.
    MessageBeep(MB_OK);
    static_cast<void>(Notify(EN_ERRSPACE));
}

bool Field::Changed() {
    modified_ = true;
    atRowEnd_ = false;
    goalX_ = -1;
    ScrollTo(firstRow_);
    ShowCaretRow();
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
    if (!Notify(EN_UPDATE) || !Notify(EN_CHANGE))
        return false;
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window_, OBJID_CLIENT, CHILDID_SELF);
    if (automation_) {
        automation_->TextChanged();
        automation_->SelectionChanged();
    }
    return true;
}

void Field::SetText(const wchar_t* text) {
    // The new text and its rows made aside: a failure leaves the old ones.
    std::wstring held = text ? FieldText(text) : std::wstring();
    FieldRows rows{breaks_};
    rows.Wrap(held, wrapWidth_, widths_);
    content_.SetText(std::move(held));
    rows_ = std::move(rows);
    modified_ = false;
    atRowEnd_ = false;
    goalX_ = -1;
    firstRow_ = 0;
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window_, OBJID_CLIENT, CHILDID_SELF);
    if (automation_) {
        automation_->TextChanged();
        automation_->SelectionChanged();
    }
}

bool Field::StepHistory(bool undo) {
    std::optional<TextChange> change;
    try {
        change = undo ? content_.Undo(RowsFollowing()) : content_.Redo(RowsFollowing());
    } catch (const std::bad_alloc&) {
        NoRoom();
        return false;
    }
    // The text put back stays selected, exactly: its ends are where edits
    // ended, not necessarily where a key would stop.
    if (change)
        Changed();
    return change.has_value();
}

void Field::DeleteSelection() {
    if (content_.HasSelection())
        Edit(content_.SelectionStart(), content_.SelectionEnd(), {}, false);
}

// --- Keys, mouse and clipboard -------------------------------------------

bool Field::Key(WPARAM key) {
    const bool shift = Held(VK_SHIFT);
    const bool control = Held(VK_CONTROL);
    const std::wstring& text = content_.Text();
    const std::size_t caret = content_.Caret();
    const bool collapse = content_.HasSelection() && !shift;
    switch (key) {
    case VK_LEFT:
        MoveCaret(control    ? PreviousWordStart(text, caret)
                  : collapse ? content_.SelectionStart()
                             : breaks_.PreviousStop(text, caret),
                  shift);
        return true;
    case VK_RIGHT:
        MoveCaret(control    ? NextWordStart(text, caret)
                  : collapse ? content_.SelectionEnd()
                             : breaks_.NextStop(text, caret),
                  shift);
        return true;
    case VK_UP:
    case VK_DOWN:
        MoveByRows(key == VK_UP ? -1 : 1, shift);
        return true;
    case VK_PRIOR:
    case VK_NEXT: {
        const int rows = VisibleRows();
        ScrollTo(key == VK_PRIOR ? firstRow_ - std::min<std::size_t>(firstRow_, rows)
                                 : firstRow_ + static_cast<std::size_t>(rows));
        MoveByRows(key == VK_PRIOR ? -rows : rows, shift);
        return true;
    }
    case VK_HOME:
        MoveCaret(control ? 0 : rows_.Start(CaretRow()), shift);
        return true;
    case VK_END: {
        if (control) {
            MoveCaret(text.size(), shift);
            return true;
        }
        const std::size_t row = CaretRow();
        const std::size_t end = rows_.End(text, row);
        MoveCaret(end, shift, row + 1 < rows_.Count() && rows_.Start(row + 1) == end);
        return true;
    }
    case VK_DELETE:
        if (shift && !control) {
            Cut();
        } else if (content_.HasSelection()) {
            Edit(content_.SelectionStart(), content_.SelectionEnd(), {}, true);
        } else {
            const std::size_t end =
                control ? NextWordStart(text, caret) : breaks_.NextStop(text, caret);
            if (end > caret)
                Edit(caret, end, {}, true);
        }
        return true;
    case VK_BACK:
        // Ctrl+BackSpace, from the key: Windows types 0x7F for it, Wine a
        // BackSpace (0x08), which would take one character. The character
        // that follows is not typed.
        if (!control)
            return false;
        controlBack_ = true;
        if (content_.HasSelection())
            Edit(content_.SelectionStart(), content_.SelectionEnd(), {}, true);
        else if (caret > 0)
            Edit(PreviousWordStart(text, caret), caret, {}, true);
        return true;
    case VK_INSERT:
        if (control && !shift)
            Copy();
        else if (shift && !control)
            Paste();
        return true;
    }
    return false;
}

void Field::Character(wchar_t character) {
    const std::wstring& text = content_.Text();
    const std::size_t caret = content_.Caret();
    if (character >= 0xD800 && character <= 0xDBFF) {
        highSurrogate_ = character;
        return;
    }
    const wchar_t high = std::exchange(highSurrogate_, wchar_t{0});
    if (std::exchange(controlBack_, false) && (character == L'\b' || character == CtrlBackSpace))
        return;
    switch (character) {
    case CtrlA:
        atRowEnd_ = false;
        Select(0, text.size());
        ShowCaretRow();
        return;
    case CtrlC:
        Copy();
        return;
    case CtrlV:
        Paste();
        return;
    case CtrlX:
        Cut();
        return;
    case CtrlZ:
    case CtrlY:
        StepHistory(character == CtrlZ);
        return;
    case L'\b':
    case CtrlBackSpace:
        if (content_.HasSelection())
            Edit(content_.SelectionStart(), content_.SelectionEnd(), {}, true);
        else if (caret > 0)
            Edit(character == L'\b' ? breaks_.PreviousStop(text, caret)
                                    : PreviousWordStart(text, caret),
                 caret, {}, true);
        return;
    case L'\r':
    case L'\n':
        Edit(content_.SelectionStart(), content_.SelectionEnd(), L"\r\n", true);
        return;
    }
    // Tab and Esc belong to the window; other control characters type nothing.
    if (character < L' ')
        return;
    if (character >= 0xDC00 && character <= 0xDFFF) {
        if (!high)
            return;
        const wchar_t pair[] = {high, character};
        Edit(content_.SelectionStart(), content_.SelectionEnd(), std::wstring_view(pair, 2), true);
        return;
    }
    Edit(content_.SelectionStart(), content_.SelectionEnd(), std::wstring_view(&character, 1),
         true);
}

void Field::TypeCodePoint(char32_t codePoint) {
    // Surrogates are no characters of their own, nor anything past the last plane.
    if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
        return;
    if (codePoint < 0x10000) {
        Character(static_cast<wchar_t>(codePoint));
        return;
    }
    highSurrogate_ = 0;
    const wchar_t pair[] = {static_cast<wchar_t>(0xD800 + ((codePoint - 0x10000) >> 10)),
                            static_cast<wchar_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF))};
    Edit(content_.SelectionStart(), content_.SelectionEnd(), std::wstring_view(pair, 2), true);
}

void Field::MouseDown(POINT point, bool extend) {
    if (GetFocus() != window_) {
        SetFocus(window_);
        // The window told of the focus may have destroyed the field.
        if (destroyed_)
            return;
    }
    bool atRowEnd = false;
    const std::size_t position = PositionAt(point, atRowEnd);
    MoveCaret(position, extend, atRowEnd);
    SetCapture(window_);
    selecting_ = true;
}

void Field::MouseMoved(POINT point) {
    RECT client{};
    GetClientRect(window_, &client);
    // Held above or below the field, the drag goes on scrolling without a move.
    dragPoint_ = point;
    if (point.y < 0 || point.y >= client.bottom)
        SetTimer(window_, DragTimer, DragScrollMs, nullptr);
    else
        KillTimer(window_, DragTimer);
    // Dragged above or below the field: it scrolls a row at a time.
    if (point.y < 0 && firstRow_ > 0)
        ScrollTo(firstRow_ - 1);
    else if (point.y >= client.bottom)
        ScrollTo(firstRow_ + 1);
    bool atRowEnd = false;
    const std::size_t position = PositionAt(point, atRowEnd);
    if (position != content_.Caret())
        MoveCaret(position, true, atRowEnd);
}

void Field::ContextMenu(LPARAM at) {
    if (GetFocus() != window_) {
        SetFocus(window_);
        if (destroyed_)
            return;
    }
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    // From the keyboard: below the caret.
    if (at == -1) {
        const std::size_t row = CaretRow();
        const int rows = static_cast<int>(std::min<std::size_t>(
            row >= firstRow_ ? row - firstRow_ + 1 : 0, static_cast<std::size_t>(VisibleRows())));
        point = {margin_ + XOf(row, content_.Caret()), rows * lineHeight_};
        ClientToScreen(window_, &point);
    }
    const std::unique_ptr<std::remove_pointer_t<HMENU>, decltype(&DestroyMenu)> menu(
        CreatePopupMenu(), &DestroyMenu);
    if (!menu)
        return;
    const std::size_t length = content_.Text().size();
    const bool selection = content_.HasSelection();
    // Kept while the menu shows: its items point at them.
    std::vector<std::unique_ptr<MenuItem>> items;
    const auto add = [&](UINT command, const char* caption, bool enabled) {
        auto item = std::make_unique<MenuItem>();
        item->text = WideFromUtf8(caption);
        item->accessible = {static_cast<DWORD>(MSAA_MENU_SIG),
                            static_cast<DWORD>(item->text.size()), item->text.data()};
        AppendMenuW(menu.get(), MF_OWNERDRAW | (enabled ? 0 : MF_GRAYED), command,
                    reinterpret_cast<LPCWSTR>(item.get()));
        items.push_back(std::move(item));
    };
    add(MenuUndo, "撤消(&U)", content_.CanUndo());
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    add(MenuCut, "剪切(&T)", selection);
    add(MenuCopy, "复制(&C)", selection);
    add(MenuPaste, "粘贴(&P)", IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE);
    add(MenuDelete, "删除(&D)", selection);
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    add(MenuSelectAll, "全选(&A)", content_.SelectionEnd() - content_.SelectionStart() < length);
    const auto chosen =
        static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                         point.x, point.y, 0, window_, nullptr));
    // Anything may have happened while the menu was open.
    if (destroyed_)
        return;
    switch (chosen) {
    case MenuUndo:
        StepHistory(true);
        break;
    case MenuCut:
        Cut();
        break;
    case MenuCopy:
        Copy();
        break;
    case MenuPaste:
        Paste();
        break;
    case MenuDelete:
        DeleteSelection();
        break;
    case MenuSelectAll:
        atRowEnd_ = false;
        Select(0, length);
        break;
    }
}

bool Field::MeasureMenuItem(MEASUREITEMSTRUCT& measure) {
    const MenuItem* item = measure.CtlType == ODT_MENU ? MenuItemOf(measure.itemData) : nullptr;
    if (!item)
        return false;
    RECT box{};
    DrawTextW(widths_.Dc(), item->text.c_str(), static_cast<int>(item->text.size()), &box,
              DT_SINGLELINE | DT_CALCRECT);
    // Room for a check mark's width on either side, as a menu leaves.
    const int side = GetSystemMetrics(SM_CXMENUCHECK);
    measure.itemWidth = static_cast<UINT>(box.right + 2 * side);
    measure.itemHeight = static_cast<UINT>(
        std::max<int>(box.bottom + 2 * GetSystemMetrics(SM_CYEDGE), GetSystemMetrics(SM_CYMENU)));
    return true;
}

bool Field::DrawMenuItem(const DRAWITEMSTRUCT& draw) {
    const MenuItem* item = draw.CtlType == ODT_MENU ? MenuItemOf(draw.itemData) : nullptr;
    if (!item)
        return false;
    const SavedDc saved(draw.hDC);
    const bool chosen = (draw.itemState & ODS_SELECTED) != 0;
    const bool grayed = (draw.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    FillRect(draw.hDC, &draw.rcItem, GetSysColorBrush(chosen ? COLOR_HIGHLIGHT : COLOR_MENU));
    SetTextColor(draw.hDC, GetSysColor(grayed   ? COLOR_GRAYTEXT
                                       : chosen ? COLOR_HIGHLIGHTTEXT
                                                : COLOR_MENUTEXT));
    SetBkMode(draw.hDC, TRANSPARENT);
    SelectObject(draw.hDC, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
    RECT box = draw.rcItem;
    box.left += GetSystemMetrics(SM_CXMENUCHECK);
    // The access keys underlined when the keyboard opened the menu, as Windows shows them.
    DrawTextW(draw.hDC, item->text.c_str(), static_cast<int>(item->text.size()), &box,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT |
                  ((draw.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0));
    return true;
}

// The item of an owner-drawn menu whose access key ("&U") is `key`, as a
// menu finds it itself for items whose text it holds.
LRESULT MenuItemForKey(HMENU menu, wchar_t key) {
    const int count = GetMenuItemCount(menu);
    for (int index = 0; index < count; ++index) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_DATA | MIIM_FTYPE | MIIM_STATE;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(index), TRUE, &info) ||
            !(info.fType & MFT_OWNERDRAW) || (info.fState & MFS_DISABLED))
            continue;
        const MenuItem* item = MenuItemOf(info.dwItemData);
        const std::size_t amp = item ? item->text.find(L'&') : std::wstring::npos;
        if (amp != std::wstring::npos && amp + 1 < item->text.size() &&
            CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(item->text[amp + 1]))) ==
                CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(key))))
            return MAKELRESULT(index, MNC_EXECUTE);
    }
    return MAKELRESULT(0, MNC_IGNORE);
}

bool Field::Copy() {
    if (!content_.HasSelection())
        return false;
    return SetClipboardText(window_,
                            std::wstring_view(content_.Text())
                                .substr(content_.SelectionStart(),
                                        content_.SelectionEnd() - content_.SelectionStart()));
}

void Field::Cut() {
    // Removed only once it is safe on the clipboard: another program may
    // hold the clipboard open.
    if (Copy())
        Edit(content_.SelectionStart(), content_.SelectionEnd(), {}, false);
}

void Field::Paste() {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT))
        return;
    std::wstring text;
    bool read = false;
    try {
        // A clipboard that could not be read leaves the selection as it is.
        read =
            WithClipboardText(window_, [&](std::wstring_view pasted) { text = FieldText(pasted); });
    } catch (const std::bad_alloc&) {
        NoRoom();
        return;
    }
    if (read)
        Edit(content_.SelectionStart(), content_.SelectionEnd(), text, false);
}

// --- Edit control messages -----------------------------------------------

LRESULT Field::Line(WPARAM line) const {
    return Negative(line) ? static_cast<LRESULT>(CaretRow()) : static_cast<LRESULT>(line);
}

LRESULT Field::CopyText(wchar_t* buffer, std::size_t room) const {
    if (!buffer || room == 0)
        return 0;
    const std::wstring& text = content_.Text();
    const std::size_t count = std::min(text.size(), room - 1);
    std::copy_n(text.data(), count, buffer);
    buffer[count] = L'\0';
    return static_cast<LRESULT>(count);
}

// --- An input method's questions -------------------------------------------

LRESULT Field::CharacterPosition(IMECHARPOSITION* asked) {
    if (!asked || asked->dwSize < sizeof *asked)
        return FALSE;
    const std::wstring& text = content_.Text();
    // Counted from where the composition goes in: the selection's start.
    const std::size_t at =
        std::min<std::size_t>(content_.SelectionStart() + asked->dwCharPos, text.size());
    const bool atCaret = at == content_.Caret();
    const std::size_t row = rows_.RowOf(text, at, atCaret && atRowEnd_);
    POINT point{margin_ + XOf(row, at),
                static_cast<int>(static_cast<long long>(row) - static_cast<long long>(firstRow_)) *
                    lineHeight_};
    ClientToScreen(window_, &point);
    RECT document{};
    GetClientRect(window_, &document);
    MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&document), 2);
    asked->pt = point;
    asked->cLineHeight = static_cast<UINT>(lineHeight_);
    asked->rcDocument = document;
    return TRUE;
}

LRESULT Field::ReconversionString(RECONVERTSTRING* into) {
    const std::wstring& text = content_.Text();
    const std::size_t start = content_.SelectionStart();
    const std::size_t end = content_.SelectionEnd();
    if (end - start > MostReconverted)
        return 0;
    // The selection, or the caret, with the rows it lies in around it: what
    // the input method reads its clauses from, never a whole long line.
    std::size_t from = std::max(rows_.Start(rows_.RowOf(text, start)),
                                start - std::min(start, MostReconversionContext));
    std::size_t to = std::max(end, std::min(rows_.End(text, rows_.RowOf(text, end, true)),
                                            end + MostReconversionContext));
    // Cut where a character ends.
    while (from < start && !IsCaretStop(text, from))
        ++from;
    while (to > end && !IsCaretStop(text, to))
        --to;
    const std::size_t length = to - from;
    // The string follows the structure, with a terminating null.
    const std::size_t bytes = sizeof(RECONVERTSTRING) + (length + 1) * sizeof(wchar_t);
    if (!into)
        return static_cast<LRESULT>(bytes);
    if (into->dwSize < bytes)
        return 0;
    into->dwVersion = 0;
    into->dwStrLen = static_cast<DWORD>(length);
    into->dwStrOffset = sizeof(RECONVERTSTRING);
    // Lengths in characters, offsets in bytes from the string's start.
    into->dwCompStrLen = static_cast<DWORD>(end - start);
    into->dwCompStrOffset = static_cast<DWORD>((start - from) * sizeof(wchar_t));
    into->dwTargetStrLen = into->dwCompStrLen;
    into->dwTargetStrOffset = into->dwCompStrOffset;
    auto* string = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(into) + into->dwStrOffset);
    std::copy_n(text.data() + from, length, string);
    string[length] = L'\0';
    reconversionFrom_ = from;
    reconversionLength_ = length;
    return static_cast<LRESULT>(bytes);
}

LRESULT Field::ConfirmReconversion(const RECONVERTSTRING* adjusted) {
    const std::wstring& text = content_.Text();
    // The string offered last, still in the text where it was.
    if (!adjusted || adjusted->dwSize < sizeof *adjusted ||
        adjusted->dwStrLen != reconversionLength_ ||
        reconversionFrom_ + reconversionLength_ > text.size() ||
        adjusted->dwCompStrOffset % sizeof(wchar_t) != 0)
        return FALSE;
    // Within the string, and the string within the block the input method holds.
    const std::size_t offset = adjusted->dwCompStrOffset / sizeof(wchar_t);
    if (offset > reconversionLength_ || adjusted->dwCompStrLen > reconversionLength_ - offset ||
        adjusted->dwStrOffset < sizeof *adjusted || adjusted->dwStrOffset > adjusted->dwSize ||
        (adjusted->dwSize - adjusted->dwStrOffset) / sizeof(wchar_t) < reconversionLength_)
        return FALSE;
    const auto* string = reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(adjusted) +
                                                          adjusted->dwStrOffset);
    if (std::wstring_view(string, reconversionLength_) !=
        std::wstring_view(text).substr(reconversionFrom_, reconversionLength_))
        return FALSE;
    // What the input method converts is selected, so that its result takes its place.
    atRowEnd_ = false;
    goalX_ = -1;
    const std::size_t start = reconversionFrom_ + offset;
    Select(start, start + adjusted->dwCompStrLen);
    return TRUE;
}

LRESULT Field::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const std::wstring& text = content_.Text();
    switch (message) {
    case WM_CREATE: {
        UseFont(nullptr);
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetText(create->lpszName);
        return 0;
    }
    case WM_SETFONT:
        UseFont(reinterpret_cast<HFONT>(wParam));
        if (LOWORD(lParam))
            InvalidateRect(window_, nullptr, FALSE);
        ShowCaretRow();
        // A caret as tall as the new rows (a new resolution, say).
        if (GetFocus() == window_) {
            DestroyCaret();
            MakeCaret();
        }
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_SIZE:
        if (WrapWidth() != wrapWidth_)
            WrapAll();
        ScrollTo(firstRow_);
        ShowCaretRow();
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_PRINTCLIENT:
        if (wParam && (lParam & PRF_CLIENT))
            Draw(reinterpret_cast<HDC>(wParam), false);
        return 0;
    case WM_ENABLE:
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
        return 0;
    case WM_NCPAINT: {
        const LRESULT result = DefWindowProcW(window_, message, wParam, lParam);
        PaintThemedBorder();
        return result;
    }
    case WM_SETFOCUS: {
        MakeCaret();
        // The border shows the focus under a visual style.
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
        static_cast<void>(Notify(EN_SETFOCUS));
        return 0;
    }
    case WM_KILLFOCUS:
        DestroyCaret();
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
        static_cast<void>(Notify(EN_KILLFOCUS));
        return 0;
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
        // Enter stays with the field; Tab and Esc go to the window.
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        if (Key(wParam))
            return 0;
        break;
    case WM_CHAR:
        Character(static_cast<wchar_t>(wParam));
        return 0;
    case WM_UNICHAR:
        // Asked whether the field takes UTF-32 characters: it does.
        if (wParam == UNICODE_NOCHAR)
            return TRUE;
        TypeCodePoint(static_cast<char32_t>(wParam));
        return FALSE;
    case WM_SYSKEYDOWN:
        // Alt+BackSpace undoes, as in a stock edit.
        if (wParam == VK_BACK) {
            StepHistory(true);
            return 0;
        }
        break;
    case WM_SYSCHAR:
        if (wParam == VK_BACK)
            return 0;
        break;
    case WM_LBUTTONDOWN:
        MouseDown({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))},
                  (wParam & MK_SHIFT) != 0);
        return 0;
    case WM_LBUTTONDBLCLK: {
        bool atRowEnd = false;
        const TextSpan word = WordAt(text, PositionAt({static_cast<short>(LOWORD(lParam)),
                                                       static_cast<short>(HIWORD(lParam))},
                                                      atRowEnd));
        atRowEnd_ = false;
        Select(word.start, word.end);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (selecting_ && (wParam & MK_LBUTTON))
            MouseMoved({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        return 0;
    case WM_TIMER:
        if (wParam != DragTimer)
            break;
        if (selecting_)
            MouseMoved(dragPoint_);
        return 0;
    case WM_LBUTTONUP:
        if (selecting_)
            ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        selecting_ = false;
        KillTimer(window_, DragTimer);
        return 0;
    case WM_MOUSEWHEEL: {
        UINT lines = 3;
        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
        if (lines == WHEEL_PAGESCROLL)
            lines = static_cast<UINT>(VisibleRows());
        wheel_ += GET_WHEEL_DELTA_WPARAM(wParam);
        const int rows = wheel_ / WHEEL_DELTA * static_cast<int>(lines);
        wheel_ %= WHEEL_DELTA;
        if (rows > 0)
            ScrollTo(firstRow_ - std::min<std::size_t>(firstRow_, static_cast<std::size_t>(rows)));
        else if (rows < 0)
            ScrollTo(firstRow_ + static_cast<std::size_t>(-rows));
        PlaceCaret();
        return 0;
    }
    case WM_CONTEXTMENU:
        ContextMenu(lParam);
        return 0;
    case WM_MEASUREITEM:
        if (MeasureMenuItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_DRAWITEM:
        if (DrawMenuItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_MENUCHAR:
        if (HIWORD(wParam) == MF_POPUP)
            return MenuItemForKey(reinterpret_cast<HMENU>(lParam), LOWORD(wParam));
        break;
    case WM_IME_STARTCOMPOSITION:
        // The input method writes where the caret is, in the field's font:
        // the caret's row scrolled into view first, as the wheel may have
        // taken it out.
        if (const HIMC context = ImmGetContext(window_)) {
            LOGFONTW font{};
            if (GetObjectW(font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT),
                           sizeof font, &font))
                ImmSetCompositionFontW(context, &font);
            ImmReleaseContext(window_, context);
        }
        ShowCaretRow();
        PlaceCaret();
        break;
    case WM_IME_REQUEST:
        switch (wParam) {
        case IMR_QUERYCHARPOSITION:
            return CharacterPosition(reinterpret_cast<IMECHARPOSITION*>(lParam));
        case IMR_RECONVERTSTRING:
            return ReconversionString(reinterpret_cast<RECONVERTSTRING*>(lParam));
        case IMR_CONFIRMRECONVERTSTRING:
            return ConfirmReconversion(reinterpret_cast<const RECONVERTSTRING*>(lParam));
        }
        break;
    case WM_SETTEXT:
        try {
            SetText(reinterpret_cast<const wchar_t*>(lParam));
        } catch (const std::bad_alloc&) {
            // As a stock edit answers when the text does not fit in memory.
            NoRoom();
            return FALSE;
        }
        return TRUE;
    case WM_GETTEXT:
        return CopyText(reinterpret_cast<wchar_t*>(lParam), static_cast<std::size_t>(wParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(text.size());
    case WM_COPY:
        Copy();
        return 0;
    case WM_CUT:
        Cut();
        return 0;
    case WM_PASTE:
        Paste();
        return 0;
    case WM_CLEAR:
        DeleteSelection();
        return 0;
    case WM_UNDO:
    case EM_UNDO:
        StepHistory(true);
        return TRUE;
    case EM_CANUNDO:
        return content_.CanUndo();
    case EM_EMPTYUNDOBUFFER:
        content_.ForgetHistory();
        return 0;
    case EM_GETSEL: {
        const auto start = static_cast<DWORD>(content_.SelectionStart());
        const auto end = static_cast<DWORD>(content_.SelectionEnd());
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = start;
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = end;
        return start > 0xFFFF || end > 0xFFFF ? -1 : MAKELRESULT(start, end);
    }
    case EM_SETSEL: {
        // -1 to start takes the selection away; -1 to end, to the text's end.
        // Read as 32 bits, as a stock edit does: a 32-bit program's -1
        // arrives without its sign.
        const auto start = static_cast<int>(wParam);
        const auto end = static_cast<int>(lParam);
        atRowEnd_ = false;
        goalX_ = -1;
        if (start < 0)
            Select(content_.Caret(), content_.Caret());
        else
            Select(static_cast<std::size_t>(start),
                   end < 0 ? text.size() : static_cast<std::size_t>(end));
        return 0;
    }
    case EM_REPLACESEL: {
        std::wstring inserted;
        try {
            if (lParam)
                inserted = FieldText(reinterpret_cast<const wchar_t*>(lParam));
        } catch (const std::bad_alloc&) {
            NoRoom();
            return 0;
        }
        // Made for good unless it may be undone.
        if (Edit(content_.SelectionStart(), content_.SelectionEnd(), inserted, false) && !wParam)
            content_.ForgetHistory();
        return 0;
    }
    case EM_GETLINECOUNT:
        return static_cast<LRESULT>(rows_.Count());
    case EM_LINEFROMCHAR:
        return Negative(wParam) ? static_cast<LRESULT>(CaretRow())
                                : static_cast<LRESULT>(rows_.RowOf(
                                      text, std::min<std::size_t>(wParam, text.size())));
    case EM_LINEINDEX: {
        const auto line = static_cast<std::size_t>(Line(wParam));
        return line < rows_.Count() ? static_cast<LRESULT>(rows_.Start(line)) : -1;
    }
    case EM_LINELENGTH: {
        const std::size_t row = Negative(wParam)
                                    ? CaretRow()
                                    : rows_.RowOf(text, std::min<std::size_t>(wParam, text.size()));
        return static_cast<LRESULT>(rows_.End(text, row) - rows_.Start(row));
    }
    case EM_GETLINE: {
        auto* buffer = reinterpret_cast<wchar_t*>(lParam);
        if (!buffer || wParam >= rows_.Count())
            return 0;
        const std::size_t room = static_cast<WORD>(buffer[0]);
        const std::size_t start = rows_.Start(wParam);
        const std::size_t count = std::min(rows_.End(text, wParam) - start, room);
        std::copy_n(text.data() + start, count, buffer);
        return static_cast<LRESULT>(count);
    }
    case EM_GETFIRSTVISIBLELINE:
        return static_cast<LRESULT>(firstRow_);
    case EM_SCROLLCARET:
        ShowCaretRow();
        PlaceCaret();
        return TRUE;
    case EM_LINESCROLL: {
        const auto rows = static_cast<long long>(static_cast<int>(lParam));
        ScrollTo(static_cast<std::size_t>(std::max(0LL, static_cast<long long>(firstRow_) + rows)));
        PlaceCaret();
        return TRUE;
    }
    case EM_POSFROMCHAR: {
        if (wParam > text.size())
            return -1;
        const std::size_t row = rows_.RowOf(text, wParam);
        const int x = margin_ + XOf(row, wParam);
        const int y = (static_cast<int>(row) - static_cast<int>(firstRow_)) * lineHeight_;
        return MAKELRESULT(static_cast<WORD>(static_cast<short>(x)),
                           static_cast<WORD>(static_cast<short>(y)));
    }
    case EM_CHARFROMPOS: {
        bool atRowEnd = false;
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const std::size_t position = PositionAt(point, atRowEnd);
        const std::size_t row = rows_.RowOf(text, position, atRowEnd);
        return MAKELRESULT(static_cast<WORD>(position), static_cast<WORD>(row));
    }
    case EM_SETLIMITTEXT:
        limit_ = wParam ? static_cast<std::size_t>(wParam) : DefaultLimit;
        return 0;
    case EM_GETLIMITTEXT:
        return static_cast<LRESULT>(limit_);
    case EM_GETMODIFY:
        return modified_;
    case EM_SETMODIFY:
        modified_ = wParam != FALSE;
        return 0;
    case EM_GETRECT:
        if (auto* rect = reinterpret_cast<RECT*>(lParam)) {
            GetClientRect(window_, rect);
            rect->left += margin_;
            rect->right -= margin_;
        }
        return 0;
    case WM_GETOBJECT:
        if (automation_)
            if (const std::optional<LRESULT> answer = automation_->Answer(wParam, lParam))
                return *answer;
        break;
    case WM_DESTROY:
        if (automation_)
            automation_->WindowDestroyed();
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

// Counts a message the field is handling; the last one to return from a
// field whose window is gone deletes it.
class HandlingMessage {
public:
    explicit HandlingMessage(Field& field) : field_(field) { ++field_.handling_; }
    ~HandlingMessage() {
        if (--field_.handling_ == 0 && field_.destroyed_)
            delete &field_;
    }
    HandlingMessage(const HandlingMessage&) = delete;
    HandlingMessage& operator=(const HandlingMessage&) = delete;

private:
    Field& field_;
};

// --- UI Automation -------------------------------------------------------

void Field::ServeAutomation(AccessibilityServices& services, const ControlPlan& plan) {
    automation_ = std::make_unique<FieldAutomation>(*this, services, plan);
}

std::size_t Field::StopAfter(std::size_t position) const {
    return breaks_.NextStop(content_.Text(), position);
}

std::size_t Field::StopBefore(std::size_t position) const {
    return breaks_.PreviousStop(content_.Text(), position);
}

std::size_t Field::WordStartAfter(std::size_t position) const {
    return NextWordStart(content_.Text(), position);
}

std::size_t Field::WordStartBefore(std::size_t position) const {
    return PreviousWordStart(content_.Text(), position);
}

std::size_t Field::RowOf(std::size_t position) const {
    return rows_.RowOf(content_.Text(), std::min(position, content_.Text().size()));
}

std::size_t Field::RowEnd(std::size_t row) const { return rows_.End(content_.Text(), row); }

std::size_t Field::VisibleRowCount() const { return static_cast<std::size_t>(VisibleRows()); }

RECT Field::Box(std::size_t row, std::size_t from, std::size_t to) {
    const int top = (static_cast<int>(row) - static_cast<int>(firstRow_)) * lineHeight_;
    return {margin_ + XOf(row, from), top, margin_ + XOf(row, to), top + lineHeight_};
}

std::size_t Field::StopNearest(POINT point) {
    bool atRowEnd = false;
    return PositionAt(point, atRowEnd);
}

void Field::SelectText(std::size_t start, std::size_t end) {
    // As EM_SETSEL selects.
    atRowEnd_ = false;
    goalX_ = -1;
    Select(start, end);
}

void Field::ScrollIntoView(std::size_t position, bool alignToTop) {
    const std::size_t row = RowOf(position);
    const auto visible = static_cast<std::size_t>(VisibleRows());
    if (alignToTop)
        ScrollTo(row);
    else
        ScrollTo(row + 1 > visible ? row + 1 - visible : 0);
    PlaceCaret();
}

void Field::ReplaceText(std::wstring_view text) {
    Edit(0, content_.Text().size(), FieldText(text), false);
}

std::wstring Field::FontName() const {
    wchar_t face[LF_FACESIZE] = {};
    const int length = GetTextFaceW(widths_.Dc(), LF_FACESIZE, face);
    return std::wstring(face, static_cast<std::size_t>(std::clamp(length - 1, 0, LF_FACESIZE)));
}

double Field::FontPoints() const {
    TEXTMETRICW metrics{};
    GetTextMetricsW(widths_.Dc(), &metrics);
    // The font is made at the window's resolution: points are at that.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto dpiForWindow =
        reinterpret_cast<GetDpiForWindowFn>(User32Function("GetDpiForWindow"));
    UINT dpi = dpiForWindow ? dpiForWindow(window_) : 0;
    if (dpi == 0) {
        const HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    const double points = (metrics.tmHeight - metrics.tmInternalLeading) * 72.0 / std::max(dpi, 1U);
    // To the half point, as font sizes are chosen.
    return std::round(points * 2) / 2;
}

LRESULT CALLBACK FieldProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return AnswerGuarded([&]() -> LRESULT {
        Field* field = FieldOf(window);
        if (message == WM_NCCREATE) {
            field = new Field(window);
            SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(field));
        }
        if (!field)
            return DefWindowProcW(window, message, wParam, lParam);
        const HandlingMessage handling(*field);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, 0, 0);
            field->WindowDestroyed();
            return DefWindowProcW(window, message, wParam, lParam);
        }
        return field->Handle(message, wParam, lParam);
    });
}

// One class for every field of the process.
LPCWSTR FieldClass(HINSTANCE instance) {
    static const WindowClass registered = [instance] {
        WNDCLASSEXW description{};
        description.cbSize = sizeof description;
        description.style = CS_DBLCLKS;
        description.lpfnWndProc = FieldProcedure;
        description.cbWndExtra = sizeof(Field*);
        description.hInstance = instance;
        description.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
        description.lpszClassName = L"Quimbel.Field";
        return WindowClass(description);
    }();
    return registered.Name();
}

HWND Create(const ControlSetup& setup) {
    // Never a scroll bar: the design has none. The edit styles say what the
    // field is to whoever looks, as a stock edit's would.
    const HWND field = CreateChild(setup, FieldClass(setup.instance),
                                   WS_TABSTOP | ES_LEFT | ES_MULTILINE | ES_WANTRETURN,
                                   WS_EX_CLIENTEDGE, FieldText(WideFromUtf8(setup.plan.caption)));
    if (Field* made = field ? FieldOf(field) : nullptr)
        made->ServeAutomation(setup.accessibility, setup.plan);
    return field;
}

// A field's value has every line break as "\n".
std::wstring FieldWindowText(std::string_view text) { return FieldText(WideFromUtf8(text)); }

std::string FieldLayerText(std::wstring_view text) { return LayerText(text); }

// Tabbing into a field selects its text, as in any Windows dialog.
void SelectAll(HWND field) { SendMessageW(field, EM_SETSEL, 0, -1); }

} // namespace

const ControlClass TextBoxClass{.create = Create,
                                .toWindowText = FieldWindowText,
                                .fromWindowText = FieldLayerText,
                                .tabbedInto = SelectAll};

} // namespace quimbel::ui::win32
