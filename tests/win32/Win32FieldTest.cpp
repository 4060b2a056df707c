// A field of the main window on Windows holding long texts: pasted,
// wrapped at its width, edited, undone and read back whole, by the user's
// keys and by other programs.

#include "Form1.h"
#include "Forms.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quimbel::testing {
namespace {

// --- A field of the main window --------------------------------------------

// Characters that show where each came from: a different letter at each
// place nearby.
std::wstring Letters(std::size_t count) {
    std::wstring text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        text += static_cast<wchar_t>(L'a' + i % 26);
    return text;
}

std::string Narrow(std::wstring_view text) { return ui::win32::Utf8FromWide(text); }

class LongField : public MainWindowField {
protected:
    std::wstring Shown() { return ui::win32::TextOfWindow(Field()); }

    // A key pressed in the field, with Shift or Ctrl held, as the event loop
    // delivers it: any character it makes follows.
    void Press(WPARAM key, bool shift = false, bool control = false) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        BYTE held[256];
        std::copy(std::begin(keys), std::end(keys), std::begin(held));
        held[VK_SHIFT] = held[VK_LSHIFT] = shift ? 0x80 : 0;
        held[VK_CONTROL] = held[VK_LCONTROL] = control ? 0x80 : 0;
        SetKeyboardState(held);
        const auto scan =
            static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC));
        const bool extended =
            key == VK_LEFT || key == VK_RIGHT || key == VK_INSERT || key == VK_DELETE;
        MSG press{Field(), WM_KEYDOWN, key, 1 | scan << 16 | (extended ? LPARAM{1} << 24 : 0),
                  0,       {}};
        system_.DeliverMessage(press);
        Pump(system_);
        SetKeyboardState(keys);
    }
    void Type(wchar_t character) {
        MSG typed{Field(), WM_CHAR, character, 1, 0, {}};
        system_.DeliverMessage(typed);
        Pump(system_);
    }
    void PlaceCaret(std::size_t at) {
        SendMessageW(Field(), EM_SETSEL, at, static_cast<LPARAM>(at));
    }
    std::size_t Rows() {
        return static_cast<std::size_t>(SendMessageW(Field(), EM_GETLINECOUNT, 0, 0));
    }
    std::size_t RowStart(std::size_t row) {
        return static_cast<std::size_t>(SendMessageW(Field(), EM_LINEINDEX, row, 0));
    }
    std::size_t RowOf(std::size_t at) {
        return static_cast<std::size_t>(SendMessageW(Field(), EM_LINEFROMCHAR, at, 0));
    }
};

TEST_F(LongField, APastedMegabyteLineIsGivenBackWhole) {
    const std::wstring pasted = L"42" + Letters(std::size_t{1} << 20);
    PutOnClipboard(pasted);
    SetFocus(Field());
    Press('V', false, true);
    Pump(system_);
    EXPECT_EQ(Form().Text1.Text(), Narrow(pasted));
    EXPECT_EQ(Shown(), pasted);

    // Copy, by Ctrl+C and by Ctrl+Insert, and cut by Shift+Delete.
    const struct {
        const char* name;
        WPARAM key;
        bool shift;
        bool control;
    } copies[] = {{"Ctrl+C", 'C', false, true},
                  {"Ctrl+Insert", VK_INSERT, false, true},
                  {"Shift+Delete", VK_DELETE, true, false}};
    for (const auto& copy : copies) {
        SCOPED_TRACE(copy.name);
        PutOnClipboard(L"before");
        Press('A', false, true);
        Press(copy.key, copy.shift, copy.control);
        EXPECT_EQ(ClipboardText(), pasted);
    }
    EXPECT_EQ(Form().Text1.Text(), "") << "Shift+Delete cut it";

    Press(VK_INSERT, true, false);
    Pump(system_);
    EXPECT_EQ(Form().Text1.Text(), Narrow(pasted)) << "Shift+Insert pasted it";
}

// A long line wraps at the field's width, as a short one does: every row
// within the field, no character left out or shown twice.
TEST_F(LongField, ALongLineWrapsAtTheFieldsWidth) {
    const struct {
        const char* name;
        std::wstring text;
    } cases[] = {
        {"a short line", L"17.5 inches, measured twice"},
        {"one long line", L"17 " + Letters(20000)},
        {"long words",
         [] {
             std::wstring words;
             for (int i = 0; i < 500; ++i)
                 words += Letters(static_cast<std::size_t>(i % 30)) + L" ";
             return words;
         }()},
    };
    RECT client{};
    GetClientRect(Field(), &client);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form().Text1.SetText(Narrow(c.text));
        Pump(system_);
        EXPECT_EQ(Shown(), c.text);
        const std::size_t rows = Rows();
        EXPECT_GT(rows, 1u) << "wider than the field";
        std::size_t covered = 0;
        for (std::size_t row = 0; row < rows; ++row) {
            const std::size_t start = RowStart(row);
            ASSERT_EQ(start, covered) << row;
            const auto length =
                static_cast<std::size_t>(SendMessageW(Field(), EM_LINELENGTH, start, 0));
            covered = start + length;
            if (length == 0)
                continue;
            // The last character starts inside the field; blanks may hang past.
            std::size_t last = start + length - 1;
            while (last > start && c.text[last] == L' ')
                --last;
            const LRESULT at = SendMessageW(Field(), EM_POSFROMCHAR, last, 0);
            EXPECT_LT(static_cast<short>(LOWORD(at)), client.right) << row;
        }
        EXPECT_EQ(covered, c.text.size());
    }
}

// Home, End, Up and Down move by the rows shown, a long line's as a short one's.
TEST_F(LongField, KeysMoveByTheRowsShown) {
    Form().Text1.SetText(Narrow(Letters(10200)));
    Pump(system_);
    SetFocus(Field());
    ASSERT_GT(Rows(), 10u);
    const std::size_t third = RowStart(3);
    const std::size_t fourth = RowStart(4);
    const std::size_t middle = third + (fourth - third) / 2;

    PlaceCaret(middle);
    Press(VK_HOME);
    EXPECT_EQ(Caret(), third);
    PlaceCaret(middle);
    Press(VK_END);
    EXPECT_EQ(Caret(), fourth) << "the end of the third row";
    // Shown at the row's end: typing goes there, and Home goes to that row's start.
    Press(VK_HOME);
    EXPECT_EQ(Caret(), third);
    PlaceCaret(middle);
    Press(VK_DOWN);
    EXPECT_EQ(RowOf(Caret()), 4u);
    // Straight below, within a character.
    const auto x = [&](std::size_t at) {
        return static_cast<short>(LOWORD(SendMessageW(Field(), EM_POSFROMCHAR, at, 0)));
    };
    EXPECT_NEAR(x(Caret()), x(middle), 10);
    Press(VK_UP);
    Press(VK_UP);
    EXPECT_EQ(RowOf(Caret()), 2u);
    Press(VK_END, false, true);
    EXPECT_EQ(Caret(), 10200u);
    Press(VK_HOME, false, true);
    EXPECT_EQ(Caret(), 0u);
    Press(VK_UP);
    EXPECT_EQ(Caret(), 0u) << "nowhere above the first row";
    const std::size_t lastRow = RowStart(Rows() - 1);
    PlaceCaret(lastRow + 1);
    Press(VK_DOWN);
    EXPECT_EQ(Caret(), lastRow + 1) << "Down on the last row stays in it";
    // Shift extends the selection from where it started.
    PlaceCaret(middle);
    Press(VK_END, true, false);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, middle);
    EXPECT_EQ(end, fourth);
}

// The mouse: a click puts the caret at the character nearest it, a drag
// selects, a double click selects a word, and a click past a row's end puts
// the caret at that end.
TEST_F(LongField, AClickPlacesTheCaretAndADragSelects) {
    Form().Text1.SetText("17.5 inches " + Narrow(Letters(3000)));
    Pump(system_);
    const auto point = [&](std::size_t at) {
        const LRESULT place = SendMessageW(Field(), EM_POSFROMCHAR, at, 0);
        // At the character's left edge, two pixels into its row.
        return MAKELPARAM(static_cast<short>(LOWORD(place)), static_cast<short>(HIWORD(place)) + 2);
    };
    const auto selection = [&] {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return std::pair<std::size_t, std::size_t>(start, end);
    };
    SendMessageW(Field(), WM_LBUTTONDOWN, MK_LBUTTON, point(2));
    SendMessageW(Field(), WM_LBUTTONUP, 0, point(2));
    EXPECT_EQ(GetFocus(), Field());
    EXPECT_EQ(selection(), std::make_pair(std::size_t{2}, std::size_t{2}));
    const std::size_t second = RowStart(1);
    SendMessageW(Field(), WM_LBUTTONDOWN, MK_LBUTTON, point(1));
    SendMessageW(Field(), WM_MOUSEMOVE, MK_LBUTTON, point(second + 2));
    SendMessageW(Field(), WM_LBUTTONUP, 0, point(second + 2));
    EXPECT_EQ(selection(), std::make_pair(std::size_t{1}, second + 2));
    SendMessageW(Field(), WM_LBUTTONDBLCLK, MK_LBUTTON, point(6));
    EXPECT_EQ(selection(), std::make_pair(std::size_t{5}, std::size_t{11})) << "inches";
    RECT client{};
    GetClientRect(Field(), &client);
    SendMessageW(Field(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.right - 1, 2));
    SendMessageW(Field(), WM_LBUTTONUP, 0, MAKELPARAM(client.right - 1, 2));
    EXPECT_EQ(selection(), std::make_pair(second, second));
    Press(VK_HOME);
    EXPECT_EQ(Caret(), 0u) << "the caret was at the end of the first row";
}

// A drag held below the field goes on scrolling and selecting, without the
// mouse moving, until the button is let go.
TEST_F(LongField, ADragHeldBelowTheFieldScrollsOn) {
    Form().Text1.SetText(Narrow(Letters(3000)));
    Pump(system_);
    RECT client{};
    GetClientRect(Field(), &client);
    SendMessageW(Field(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(Field(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2, client.bottom + 10));
    const auto first = [&] { return SendMessageW(Field(), EM_GETFIRSTVISIBLELINE, 0, 0); };
    // A hang guard, not a timing: a few rows come in well under a second.
    const ULONGLONG until = GetTickCount64() + 10000;
    while (first() < 5 && GetTickCount64() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump(system_);
    }
    EXPECT_GE(first(), 5);
    SendMessageW(Field(), WM_LBUTTONUP, 0, MAKELPARAM(2, client.bottom + 10));
    const LRESULT stopped = first();
    EXPECT_GT(Caret(), RowStart(static_cast<std::size_t>(stopped))) << "selected as it went";
    Sleep(300);
    Pump(system_);
    EXPECT_EQ(first(), stopped) << "stops when the button is let go";
}

// -1 means the caret's own row, or no selection, as in a stock edit: also
// as a 32-bit program sends it, without its sign.
TEST_F(LongField, MinusOneMeansTheCaretsAsInAStockEdit) {
    Form().Text1.SetText(Narrow(Letters(3000)));
    Pump(system_);
    const std::size_t row = 5;
    const std::size_t at = RowStart(row) + 2;
    for (const WPARAM minusOne : {static_cast<WPARAM>(-1), WPARAM{0xFFFFFFFF}}) {
        SCOPED_TRACE(minusOne == WPARAM{0xFFFFFFFF} ? "32 bits" : "pointer-sized");
        SendMessageW(Field(), EM_SETSEL, 0, static_cast<LPARAM>(at));
        SendMessageW(Field(), EM_SETSEL, minusOne, 0);
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, at) << "the selection taken away, the caret kept";
        EXPECT_EQ(end, at);
        EXPECT_EQ(static_cast<std::size_t>(SendMessageW(Field(), EM_LINEFROMCHAR, minusOne, 0)),
                  row);
        EXPECT_EQ(static_cast<std::size_t>(SendMessageW(Field(), EM_LINEINDEX, minusOne, 0)),
                  RowStart(row));
    }
}

// Keys that arrive faster than the field handles them wait in the queue:
// each one, handled in turn, moves the caret one character.
TEST_F(LongField, QueuedArrowKeysEachMoveOneCharacter) {
    Form().Text1.SetText(Narrow(Letters(10000)));
    SetFocus(Field());
    const struct {
        const char* name;
        DWORD from;
        WPARAM key;
        int presses;
        DWORD to;
    } cases[] = {
        {"Right from the start", 0, VK_RIGHT, 50, 50},
        {"Right from 850", 850, VK_RIGHT, 50, 900},
        {"Right over many rows", 2000, VK_RIGHT, 2100, 4100},
        {"Left over many rows", 4100, VK_LEFT, 2100, 2000},
        {"Right at the end", 9990, VK_RIGHT, 50, 10000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto scan =
            static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(c.key), MAPVK_VK_TO_VSC)) << 16;
        PlaceCaret(c.from);
        for (int i = 0; i < c.presses; ++i) {
            PostMessageW(Field(), WM_KEYDOWN, c.key, 1 | scan | LPARAM{1} << 24);
            PostMessageW(Field(), WM_KEYUP, c.key,
                         1 | scan | LPARAM{1} << 24 | LPARAM{1} << 30 | LPARAM{1} << 31);
        }
        Pump(system_);
        EXPECT_EQ(Caret(), c.to);
    }
}

// Another program may hold the clipboard open: cut then keeps the text.
TEST_F(LongField, CutKeepsTheTextWhenTheClipboardIsHeldElsewhere) {
    Form().Text1.SetText("17 inches");
    SetFocus(Field());
    std::promise<void> opened;
    std::promise<void> done;
    std::thread holder([&] {
        const bool open = OpenClipboard(nullptr) != FALSE;
        opened.set_value();
        done.get_future().wait();
        if (open)
            CloseClipboard();
    });
    opened.get_future().wait();
    Press('A', false, true);
    Press('X', false, true);
    done.set_value();
    holder.join();
    EXPECT_EQ(Form().Text1.Text(), "17 inches");
}

TEST_F(LongField, PastedLineBreaksOfEveryKindBecomeTheFieldsOwn) {
    PutOnClipboard(L"1\n2\r\r\n3\r\n4\r5");
    Form().Text1.SetText("");
    SetFocus(Field());
    Press('V', false, true);
    EXPECT_EQ(Form().Text1.Text(), "1\n2\n3\n4\n5");
    EXPECT_EQ(Shown(), L"1\r\n2\r\n3\r\n4\r\n5");
}

// A carriage return of the program's or the clipboard's, next to a line
// break made by a key: every line break stays in the value.
TEST_F(LongField, EditsNextToACarriageReturnKeepEveryLineBreak) {
    const struct {
        const char* name;
        const char* text;
        std::size_t caret;
        std::wstring_view pasted; // or Enter, where empty
        const char* expected;
    } cases[] = {
        {"Enter after a carriage return", "a\rb", 3, L"", "a\n\nb"},
        {"a carriage return pasted before a line break", "ab\ncd", 2, L"x\r", "abx\n\ncd"},
        {"a carriage return pasted after one", "a\rb", 1, L"\r", "a\n\nb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form().Text1.SetText(c.text);
        SetFocus(Field());
        PlaceCaret(c.caret);
        if (c.pasted.empty()) {
            Press(VK_RETURN);
        } else {
            PutOnClipboard(c.pasted);
            Press('V', false, true);
        }
        EXPECT_EQ(Form().Text1.Text(), c.expected);
    }
}

// Typed characters go in whole: a surrogate pair typed in two halves is one
// character, and control characters other than Enter type nothing.
TEST_F(LongField, TypedCharactersGoInWhole) {
    Form().Text1.SetText("ab");
    SetFocus(Field());
    PlaceCaret(1);
    Type(0xD83D);
    Type(0xDE00);
    Type(L'\t');
    Type(0x1B);
    Type(0x02);
    EXPECT_EQ(Shown(), L"a\xD83D\xDE00"
                       L"b");
    Press(VK_LEFT);
    EXPECT_EQ(Caret(), 1u) << "Left steps over the pair at once";
    Press(VK_DELETE);
    EXPECT_EQ(Shown(), L"ab") << "Delete takes the pair whole";
}

// Set before the window is first shown, a long text is there, wrapped, once
// its field is made.
TEST(LongFieldBeforeShowing, ALongTextSetWhileHiddenIsWrappedWhenShown) {
    ui::Win32WindowSystem system;
    ui::FormsRuntime runtime(system);
    runtime.Start<forms::Form1>();
    auto& main = runtime.DefaultInstance<forms::Form1>();
    ASSERT_FALSE(ui::Win32WindowOf(main)->IsBuilt());
    const std::wstring text = L"17 " + Letters(20000);
    main.Text1.SetText(Narrow(text));
    EXPECT_EQ(main.Text1.Text(), Narrow(text));
    main.Show();
    Pump(system);
    EXPECT_EQ(main.Text1.Text(), Narrow(text));
    EXPECT_GT(SendMessageW(ui::Win32ControlOf(main, "Text1"), EM_GETLINECOUNT, 0, 0), 100);
}

// --- Undo and Redo, and the text as others read it -------------------------

// Where two long texts part, never the texts themselves: megabytes would
// drown the report. Empty when they are the same.
std::string Difference(std::wstring_view expected, std::wstring_view actual) {
    if (expected == actual)
        return {};
    const auto differs =
        std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    return "expected " + std::to_string(expected.size()) + " characters, got " +
           std::to_string(actual.size()) + ", first different at " +
           std::to_string(differs.first - expected.begin());
}

// A line of numbered cells, "00000|00001|...": a character lost or doubled
// anywhere shows.
std::wstring Numbered(std::size_t count) {
    std::wstring text;
    text.reserve(count + 6);
    for (std::size_t i = 0; text.size() < count; ++i) {
        wchar_t cell[8];
        swprintf(cell, 8, L"%05zu|", i % 100000);
        text += cell;
    }
    text.resize(count);
    return text;
}

class FieldHistory : public LongField {
protected:
    // The field's value, and its text as another program reads it, are both `expected`.
    void ExpectText(std::wstring_view expected, const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(Difference(expected,
                             ui::win32::FieldText(ui::win32::WideFromUtf8(Form().Text1.Text()))),
                  "");
        EXPECT_EQ(Difference(expected, Shown()), "");
    }
    void Undo() { Press('Z', false, true); }
    void Redo() { Press('Y', false, true); }
};

// Edits at the places a long line's field once joined pieces (2,048 and
// 4,096 characters), at the start and end of a wrapped row, at a line break
// and over all of a long text; each undone and redone, compared whole.
TEST_F(FieldHistory, EveryEditIsUndoneAndRedoneExactly) {
    const std::wstring text = Numbered(10200);
    const std::wstring lines = Numbered(3000) + L"\r\n" + Numbered(3000);
    const std::wstring pasted = L"<pasted>";
    // Where an edit starts: a position, or that many characters from the
    // start of a wrapped row (from its end where negative).
    enum class From { Text, RowStart, RowEnd };
    enum class Act { BackSpace, Delete, Type, Enter, Cut, Paste };
    const struct {
        const char* name;
        const std::wstring& before;
        From from;
        std::size_t start;  // a position, or the row
        std::size_t length; // selected
        Act act;
        int times;
        // Where the edit acts, counted back from the caret; what it removes
        // and puts in.
        std::size_t removedBefore;
        std::size_t removedAfter;
        std::wstring_view inserted;
    } cases[] = {
        {"5 BackSpaces past 2,048", text, From::Text, 2050, 0, Act::BackSpace, 5, 5, 0, L""},
        {"20 BackSpaces over 2,048", text, From::Text, 2060, 0, Act::BackSpace, 20, 20, 0, L""},
        {"2,100 BackSpaces over 2,048", text, From::Text, 4000, 0, Act::BackSpace, 2100, 2100, 0,
         L""},
        {"20 Deletes over 2,048", text, From::Text, 2040, 0, Act::Delete, 20, 0, 20, L""},
        {"typing at 4,096", text, From::Text, 4096, 0, Act::Type, 3, 0, 0, L"xxx"},
        {"typing over a selection", text, From::Text, 2040, 20, Act::Type, 1, 0, 20, L"x"},
        {"cut of 2,200", text, From::Text, 2000, 2200, Act::Cut, 1, 0, 2200, L""},
        {"paste over a selection", text, From::Text, 2046, 4, Act::Paste, 1, 0, 4, pasted},
        {"Enter at 2,048", text, From::Text, 2048, 0, Act::Enter, 1, 0, 0, L"\r\n"},
        {"BackSpace at a wrapped row's start", text, From::RowStart, 5, 0, Act::BackSpace, 3, 3, 0,
         L""},
        {"Delete at a wrapped row's start", text, From::RowStart, 5, 0, Act::Delete, 3, 0, 3, L""},
        {"typing at a wrapped row's start", text, From::RowStart, 7, 0, Act::Type, 2, 0, 0, L"xx"},
        {"paste at a wrapped row's end", text, From::RowEnd, 7, 0, Act::Paste, 1, 0, 0, pasted},
        {"BackSpace over a line break", lines, From::Text, 3003, 0, Act::BackSpace, 4, 5, 0, L""},
        {"Delete of a line break", lines, From::Text, 3000, 0, Act::Delete, 1, 0, 2, L""},
        {"Delete of all", text, From::Text, 0, text.size(), Act::Delete, 1, 0, text.size(), L""},
        {"typing over all", text, From::Text, 0, text.size(), Act::Type, 1, 0, text.size(), L"x"},
        {"BackSpace of the first 9,000", text, From::Text, 0, 9000, Act::BackSpace, 1, 0, 9000,
         L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form().Text1.SetText(Narrow(c.before));
        Pump(system_);
        SetFocus(Field());
        std::size_t start = c.start;
        if (c.from == From::RowStart)
            start = RowStart(c.start);
        else if (c.from == From::RowEnd)
            start = RowStart(c.start + 1);
        if (c.from != From::Text) {
            ASSERT_GT(start, 0u);
        }
        SendMessageW(Field(), EM_SETSEL, start, static_cast<LPARAM>(start + c.length));
        // At a wrapped row's end: the caret shown there, after End.
        if (c.from == From::RowEnd) {
            PlaceCaret(start - 1);
            Press(VK_END);
            ASSERT_EQ(Caret(), start);
        }
        PutOnClipboard(pasted);
        for (int i = 0; i < c.times; ++i) {
            switch (c.act) {
            case Act::BackSpace:
                Press(VK_BACK);
                break;
            case Act::Delete:
                Press(VK_DELETE);
                break;
            case Act::Type:
                Type(L'x');
                break;
            case Act::Enter:
                Press(VK_RETURN);
                break;
            case Act::Cut:
                Press('X', false, true);
                break;
            case Act::Paste:
                Press('V', false, true);
                break;
            }
        }
        Pump(system_);
        const std::wstring expected = std::wstring(c.before).replace(
            start - c.removedBefore, c.removedBefore + c.removedAfter, c.inserted);
        ExpectText(expected, "edited");
        EXPECT_NE(SendMessageW(Field(), EM_CANUNDO, 0, 0), 0);
        Undo();
        ExpectText(c.before, "undone");
        Redo();
        ExpectText(expected, "redone");
        Undo();
        ExpectText(c.before, "undone again");
        // Alt+BackSpace undoes too.
        Redo();
        SendMessageW(Field(), WM_SYSKEYDOWN, VK_BACK, LPARAM{1} << 29);
        ExpectText(c.before, "undone by Alt+BackSpace");
    }
}

// The steps of a report, as the user makes them: a 10,200-character line
// pasted, the caret walked 2,050 characters in by the Right key, 5
// BackSpaces, Ctrl+Z.
TEST_F(FieldHistory, UndoAfterWalkingIntoALongLineGivesTheTextBack) {
    const std::wstring text = Numbered(10200);
    Form().Text1.SetText("");
    PutOnClipboard(text);
    SetFocus(Field());
    Press('V', false, true);
    Pump(system_);
    SetFocus(ui::Win32ControlOf(Form(), "Text2"));
    SetFocus(Field());
    Press(VK_HOME, false, true);
    for (int i = 0; i < 2050; ++i)
        Press(VK_RIGHT);
    for (int i = 0; i < 5; ++i)
        Press(VK_BACK);
    ExpectText(std::wstring(text).erase(2045, 5), "after BackSpace");
    Undo();
    ExpectText(text, "after Ctrl+Z");
    // The whole text is what a copy takes.
    Press('A', false, true);
    Press('C', false, true);
    EXPECT_EQ(Difference(text, ClipboardText()), "");
}

// What anyone else reads from a long line's field: the user's text, its
// length and positions; read in this process and by another program.
TEST_F(FieldHistory, OthersReadTheUsersText) {
    const std::wstring text = Numbered(100000);
    Form().Text1.SetText(Narrow(text));
    EXPECT_EQ(GetWindowTextLengthW(Field()), 100000);
    EXPECT_EQ(Difference(text, ui::win32::TextOfWindow(Field())), "");
    SendMessageW(Field(), EM_SETSEL, 4095, 4099);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 4095u);
    EXPECT_EQ(end, 4099u);
    SetFocus(Field());
    Press('C', false, true);
    EXPECT_EQ(ClipboardText(), text.substr(4095, 4));

    // Another program asks by WM_GETTEXTLENGTH and WM_GETTEXT.
    const std::optional<ReaderRun> run = RunFieldReader(system_, Field(), L"");
    ASSERT_TRUE(run.has_value()) << "the reader did not start or did not end";
    EXPECT_EQ(run->code, 0u) << "the reader got the whole text";
    std::wstring read(run->written.size() / sizeof(wchar_t), L'\0');
    std::copy_n(run->written.data(), read.size() * sizeof(wchar_t),
                reinterpret_cast<char*>(read.data()));
    EXPECT_EQ(Difference(text, read), "");
}

TEST_F(FieldHistory, DeletingAllOfALongLineCanBeUndone) {
    const std::wstring text = Numbered(100000);
    Form().Text1.SetText(Narrow(text));
    SetFocus(Field());
    Press('A', false, true);
    Press(VK_DELETE);
    Pump(system_);
    EXPECT_EQ(Form().Text1.Text(), "");
    EXPECT_NE(SendMessageW(Field(), EM_CANUNDO, 0, 0), 0);
    Undo();
    ExpectText(text, "after Ctrl+Z");
}

// A field the user can only make as long as its limit: a paste past it is
// cut where a character ends, and the window is told.
TEST_F(LongField, APastePastTheLimitIsCutWhereACharacterEnds) {
    Form().Text1.SetText("ab");
    SendMessageW(Field(), EM_SETLIMITTEXT, 4, 0);
    SetFocus(Field());
    PlaceCaret(2);
    PutOnClipboard(L"c\xD83D\xDE00"
                   L"de");
    Press('V', false, true);
    EXPECT_EQ(Shown(), L"abc") << "the pair would not fit whole";
}

} // namespace
} // namespace quimbel::testing
