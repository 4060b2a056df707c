// A field holding a long text on Windows: a long line kept in pieces joined
// by soft breaks where the field does not wrap, and none of them ever in
// what the field gives back (its value, copy, cut) or in how its keys act.

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

using ui::win32::FieldText;
using ui::win32::PlainPosition;
using ui::win32::PositionWithSoftBreaks;
using ui::win32::SoftBreak;
using ui::win32::WithoutSoftBreaks;

// The longest run of characters between two line breaks, soft or not: a
// field holds no carriage return but in its line breaks.
std::size_t LongestRun(std::wstring_view text) {
    std::size_t longest = 0;
    std::size_t run = 0;
    for (const wchar_t unit : text) {
        if (unit == L'\n')
            run = 0;
        else if (unit != L'\r')
            longest = std::max(longest, ++run);
    }
    return longest;
}

// --- The text as a field holds it ------------------------------------------

TEST(FieldText, EveryLineBreakBecomesOneAndLongLinesArePieced) {
    const struct {
        const char* name;
        std::wstring_view text;
        std::size_t piece;
        std::wstring_view held;
    } cases[] = {
        {"empty", L"", 3, L""},
        {"bare line feed", L"12\n34", 0, L"12\r\n34"},
        {"carriage return and line feed", L"12\r\n34", 0, L"12\r\n34"},
        // Would read as a soft break, and vanish from the value.
        {"two carriage returns and a line feed", L"12\r\r\n34", 0, L"12\r\n34"},
        // Left alone, it could meet a line break later and make it a soft one.
        {"a carriage return alone", L"a\rb", 0, L"a\r\nb"},
        {"no pieces without a length", L"abcdefg", 0, L"abcdefg"},
        {"pieces of the length", L"abcdefg", 3, L"abc\r\r\ndef\r\r\ng"},
        {"no break after a last whole piece", L"abcdef", 3, L"abc\r\r\ndef"},
        {"each line pieced on its own", L"abcd\nefgh", 2, L"ab\r\r\ncd\r\nef\r\r\ngh"},
        // A piece ends earlier rather than inside a character.
        {"a surrogate pair stays whole",
         L"a\xD83D\xDE00"
         L"bc",
         2, L"a\r\r\n\xD83D\xDE00\r\r\nbc"},
        {"a combining mark stays with its letter",
         L"ae\x0301"
         L"b",
         2, L"a\r\r\ne\x0301\r\r\nb"},
        {"a cluster longer than a piece ends where it ends",
         L"ae\x0301\x0301\x0301"
         L"b",
         2, L"a\r\r\ne\x0301\x0301\x0301\r\r\nb"},
        {"a carriage return where a piece ends", L"abc\rdef", 3, L"abc\r\ndef"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring held = FieldText(c.text, c.piece);
        EXPECT_EQ(held, c.held);
        // Without its soft breaks, the text as it is held unpieced.
        if (c.piece > 0) {
            EXPECT_EQ(WithoutSoftBreaks(held), FieldText(c.text, 0));
        }
    }
    // Pasted into a piece that already has characters, the first piece only
    // fills it up.
    EXPECT_EQ(FieldText(L"abcdef", 3, 2), L"a\r\r\nbcd\r\r\nef");
}

TEST(FieldText, PositionsCountWithoutSoftBreaksAndBack) {
    // "abc" SB "def" SB "g": raw positions 0..13, plain 0..7.
    const std::wstring held = FieldText(L"abcdefg", 3);
    ASSERT_EQ(held.size(), 13u);
    const struct {
        std::size_t raw;
        std::size_t plain;
    } cases[] = {{0, 0}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {7, 4}, {9, 6}, {12, 6}, {13, 7}, {99, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(PlainPosition(held, c.raw), c.plain);
    }
    // A plain position at a join lands before the soft break; every one
    // comes back as it went.
    EXPECT_EQ(PositionWithSoftBreaks(held, 3), 3u);
    EXPECT_EQ(PositionWithSoftBreaks(held, 4), 7u);
    EXPECT_EQ(PositionWithSoftBreaks(held, 7), 13u);
    for (std::size_t plain = 0; plain <= 7; ++plain)
        EXPECT_EQ(PlainPosition(held, PositionWithSoftBreaks(held, plain)), plain) << plain;
}

// --- A field of the main window --------------------------------------------

// Characters that show where each came from: a different letter at each
// place around a join.
std::wstring Letters(std::size_t count) {
    std::wstring text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        text += static_cast<wchar_t>(L'a' + i % 26);
    return text;
}

std::string Narrow(std::wstring_view text) { return ui::win32::Utf8FromWide(text); }

class LongField : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_.Start<forms::Form1>();
        Form().Show();
        Pump(system_);
    }
    forms::Form1& Form() { return runtime_.DefaultInstance<forms::Form1>(); }
    HWND Field() { return ui::Win32ControlOf(Form(), "Text1"); }
    std::wstring Held() { return ui::win32::HeldText(Field()); }

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
    // At a position of the text as the control holds it, soft breaks counted.
    void PlaceCaret(std::size_t held) { ui::win32::SelectHeld(Field(), held, held); }

    ui::Win32WindowSystem system_;
    ui::FormsRuntime runtime_{system_};
};

TEST_F(LongField, APastedMegabyteLineIsHeldInPiecesAndGivenBackWhole) {
    const std::wstring pasted = L"42" + Letters(std::size_t{1} << 20);
    PutOnClipboard(pasted);
    SetFocus(Field());
    Press('V', false, true);
    Pump(system_);

    EXPECT_EQ(Form().Text1.Text(), Narrow(pasted));
    const std::wstring held = Held();
    EXPECT_LE(LongestRun(held), 2048u);
    EXPECT_EQ(WithoutSoftBreaks(held), pasted);

    // Copy, by Ctrl+C and by Ctrl+Insert, and cut by Shift+Delete: the
    // clipboard gets the text without the field's breaks.
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

    // Shift+Insert pastes it in pieces again.
    Press(VK_INSERT, true, false);
    Pump(system_);
    EXPECT_LE(LongestRun(Held()), 2048u);
    EXPECT_EQ(Form().Text1.Text(), Narrow(pasted));
}

TEST_F(LongField, TextSetByTheProgramIsPiecedOnlyWhereALineIsLong) {
    const struct {
        const char* name;
        std::wstring text;
        bool pieced;
    } cases[] = {
        {"one long line", L"17 " + Letters(20000), true},
        {"80-character lines",
         [] {
             std::wstring lines;
             for (int i = 0; i < 200; ++i)
                 lines += Letters(80) + L"\n";
             return lines;
         }(),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form().Text1.SetText(Narrow(c.text));
        EXPECT_EQ(Form().Text1.Text(), Narrow(c.text));
        EXPECT_EQ(Held().find(SoftBreak) != std::wstring::npos, c.pieced);
        EXPECT_LE(LongestRun(Held()), 2048u);
    }
}

// A key at the join of two pieces acts as it would in one line: on the
// character beyond the join, never only on the soft break.
TEST_F(LongField, KeysAtAJoinActOnTheCharacterBeyondIt) {
    const std::wstring text = Letters(10000);
    // The caret at the end of the first piece, or at the start of the second.
    constexpr std::size_t EndOfPiece = 2048;
    constexpr std::size_t StartOfPiece = 2048 + 3;
    const auto without = [&](std::size_t at) { return std::wstring(text).erase(at, 1); };
    const auto with = [&](std::size_t at) { return std::wstring(text).insert(at, L"X"); };
    const struct {
        const char* name;
        std::size_t caret;
        WPARAM key;
        std::wstring expected;
    } cases[] = {
        {"Backspace after the join", StartOfPiece, VK_BACK, without(2047)},
        {"Delete before the join", EndOfPiece, VK_DELETE, without(2048)},
        {"Left over the join, then X", StartOfPiece, VK_LEFT, with(2047)},
        {"Right over the join, then X", EndOfPiece, VK_RIGHT, with(2049)},
        {"Backspace before the join", EndOfPiece, VK_BACK, without(2047)},
        {"Delete after the join", StartOfPiece, VK_DELETE, without(2048)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form().Text1.SetText(Narrow(text));
        ASSERT_EQ(Held().substr(EndOfPiece, 3), SoftBreak);
        SetFocus(Field());
        PlaceCaret(c.caret);
        Press(c.key);
        if (c.key == VK_LEFT || c.key == VK_RIGHT)
            Type(L'X');
        EXPECT_EQ(Form().Text1.Text(), Narrow(c.expected));
    }
}

TEST_F(LongField, TypingAtAJoinInsertsWhereTheCaretShows) {
    const std::wstring text = Letters(10000);
    Form().Text1.SetText(Narrow(text));
    SetFocus(Field());
    PlaceCaret(2048 + 3);
    Type(L'X');
    EXPECT_EQ(Form().Text1.Text(), Narrow(std::wstring(text).insert(2048, L"X")));
}

// Keys that arrive faster than the field handles them wait in the queue:
// each one, handled in turn, moves the caret one character of the user's
// text, over every join on the way.
TEST_F(LongField, QueuedArrowKeysEachMoveOneCharacterOverTheJoins) {
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
        {"Right over one join", 2040, VK_RIGHT, 50, 2090},
        {"Right over two joins", 2000, VK_RIGHT, 2100, 4100},
        {"Left over one join", 2090, VK_LEFT, 50, 2040},
        {"Left over two joins", 4100, VK_LEFT, 2100, 2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto scan =
            static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(c.key), MAPVK_VK_TO_VSC)) << 16;
        SendMessageW(Field(), EM_SETSEL, c.from, c.from);
        for (int i = 0; i < c.presses; ++i) {
            PostMessageW(Field(), WM_KEYDOWN, c.key, 1 | scan | LPARAM{1} << 24);
            PostMessageW(Field(), WM_KEYUP, c.key,
                         1 | scan | LPARAM{1} << 24 | LPARAM{1} << 30 | LPARAM{1} << 31);
        }
        Pump(system_);
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, c.to);
        EXPECT_EQ(end, c.to);
    }
}

// A paste too long to wrap makes the field anew, unwrapped; the text that
// was selected is what the paste replaces.
TEST_F(LongField, ALongPasteReplacesTheSelectionInTheFieldMadeAnew) {
    Form().Text1.SetText("12345");
    SetFocus(Field());
    SendMessageW(Field(), EM_SETSEL, 1, 4);
    const std::wstring pasted = Letters(9000);
    PutOnClipboard(pasted);
    Press('V', false, true);
    Pump(system_);
    EXPECT_EQ(Form().Text1.Text(), "1" + Narrow(pasted) + "5");
    EXPECT_NE(Held().find(SoftBreak), std::wstring::npos);
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
    EXPECT_EQ(Held(), L"1\r\n2\r\n3\r\n4\r\n5");
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

// Pastes into the middle of a piece, one after another: each fills the piece
// it lands in, and no run grows past a piece.
TEST_F(LongField, RepeatedPastesKeepThePiecesShort) {
    std::wstring expected = Letters(9000);
    Form().Text1.SetText(Narrow(expected));
    SetFocus(Field());
    const std::wstring pasted(1000, L'Y');
    PutOnClipboard(pasted);
    for (int i = 0; i < 10; ++i) {
        PlaceCaret(PositionWithSoftBreaks(Held(), 3000));
        Press('V', false, true);
        expected.insert(3000, pasted);
    }
    EXPECT_EQ(Form().Text1.Text(), Narrow(expected));
    EXPECT_LE(LongestRun(Held()), 2048u);
}

// Deleting most of a long text gives the field back its wrapping: the field
// made anew keeps the caret where it was in the text.
TEST_F(LongField, AFieldMadeAnewToWrapKeepsTheCaret) {
    const std::wstring text = Letters(9000);
    Form().Text1.SetText(Narrow(text));
    SetFocus(Field());
    // Positions of the user's text, as anyone but the field counts.
    SendMessageW(Field(), EM_SETSEL, 100, 6000);
    Press(VK_DELETE);
    Pump(system_);
    ASSERT_FALSE(GetWindowLongW(Field(), GWL_STYLE) & ES_AUTOHSCROLL) << "wraps again";
    Type(L'X');
    EXPECT_EQ(Form().Text1.Text(), Narrow(std::wstring(text).erase(100, 5900).insert(100, L"X")));
}

// Set before the window is first shown, a long text is held in pieces once
// its field is made.
TEST(LongFieldBeforeShowing, ALongTextSetWhileHiddenIsPiecedWhenShown) {
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
    const std::wstring held = ui::win32::HeldText(ui::Win32ControlOf(main, "Text1"));
    EXPECT_NE(held.find(SoftBreak), std::wstring::npos);
    EXPECT_LE(LongestRun(held), 2048u);
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
    std::wstring Value() { return ui::win32::WideFromUtf8(Form().Text1.Text()); }
    // The field's value, and the text its control holds without the soft
    // breaks, are both `expected`.
    void ExpectText(std::wstring_view expected, const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(Difference(expected, FieldText(Value(), 0)), "");
        EXPECT_EQ(Difference(expected, WithoutSoftBreaks(Held())), "");
    }
    void Undo() { Press('Z', false, true); }
    void Redo() { Press('Y', false, true); }
};

// Edits around the joins of a long line's pieces (at 2,048 and 4,096
// characters), around the length a field stops wrapping at, and in a
// wrapping field; each undone and redone, compared whole.
TEST_F(FieldHistory, EveryEditNearAJoinIsUndoneAndRedoneExactly) {
    const std::wstring text = Numbered(10200);
    const std::wstring pasted = L"<pasted>";
    const auto erase = [&](std::size_t at, std::size_t count) {
        return std::wstring(text).erase(at, count);
    };
    const auto replace = [&](std::size_t at, std::size_t count, std::wstring_view with) {
        return std::wstring(text).replace(at, count, with);
    };
    enum class Act { BackSpace, Delete, Type, Cut, Paste };
    const struct {
        const char* name;
        std::wstring before;
        std::size_t start; // in the user's text
        std::size_t end;
        // The caret after the join's soft break rather than before it.
        bool afterJoin;
        Act act;
        int times;
        std::wstring expected;
    } cases[] = {
        {"5 BackSpaces just past a join", text, 2050, 2050, false, Act::BackSpace, 5,
         erase(2045, 5)},
        {"BackSpace from the start of a piece", text, 2048, 2048, true, Act::BackSpace, 1,
         erase(2047, 1)},
        {"20 BackSpaces over a join", text, 2060, 2060, false, Act::BackSpace, 20, erase(2040, 20)},
        {"2,100 BackSpaces over a join", text, 4000, 4000, false, Act::BackSpace, 2100,
         erase(1900, 2100)},
        {"20 Deletes over a join", text, 2040, 2040, false, Act::Delete, 20, erase(2040, 20)},
        {"Delete at the end of a piece", text, 2048, 2048, false, Act::Delete, 1, erase(2048, 1)},
        {"typing at a join", text, 4096, 4096, true, Act::Type, 3, replace(4096, 0, L"xxx")},
        {"typing over a selection across a join", text, 2040, 2060, false, Act::Type, 1,
         replace(2040, 20, L"x")},
        {"cut across two joins", text, 2000, 4200, false, Act::Cut, 1, erase(2000, 2200)},
        {"paste over a selection across a join", text, 2046, 2050, false, Act::Paste, 1,
         replace(2046, 4, pasted)},
        {"paste at a join", text, 2048, 2048, true, Act::Paste, 1, replace(2048, 0, pasted)},
        // The field is made anew to wrap, and again not to, on the way back.
        {"Delete of all", text, 0, text.size(), false, Act::Delete, 1, L""},
        {"typing over all", text, 0, text.size(), false, Act::Type, 1, L"x"},
        {"BackSpace of the first 9,000", text, 0, 9000, false, Act::BackSpace, 1, erase(0, 9000)},
        {"in a field that wraps", Numbered(3000), 2046, 2046, false, Act::BackSpace, 5,
         Numbered(3000).erase(2041, 5)},
        {"a line break typed at a join", text, 2048, 2048, false, Act::Type, 1,
         replace(2048, 0, L"\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form().Text1.SetText(Narrow(c.before));
        Pump(system_);
        SetFocus(Field());
        if (c.afterJoin) {
            const std::size_t held = PositionWithSoftBreaks(Held(), c.start);
            ASSERT_EQ(Held().substr(held, SoftBreak.size()), SoftBreak);
            PlaceCaret(held + SoftBreak.size());
        } else {
            SendMessageW(Field(), EM_SETSEL, c.start, static_cast<LPARAM>(c.end));
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
                c.expected.find(L'\n') != std::wstring::npos ? Press(VK_RETURN) : Type(L'x');
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
        ExpectText(c.expected, "edited");
        EXPECT_NE(SendMessageW(Field(), EM_CANUNDO, 0, 0), 0);
        Undo();
        Pump(system_);
        ExpectText(c.before, "undone");
        Redo();
        Pump(system_);
        ExpectText(c.expected, "redone");
        Undo();
        Pump(system_);
        ExpectText(c.before, "undone again");
    }
}

// The issue's own steps, as the user makes them: a 10,200-character line
// pasted, the caret walked 2,050 characters in by the Right key, 5
// BackSpaces, Ctrl+Z.
TEST_F(FieldHistory, UndoAfterWalkingPastAJoinGivesTheTextBack) {
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
// length and positions, with no soft break; read in this process and by
// another program.
TEST_F(FieldHistory, OthersReadTheUsersTextWithoutSoftBreaks) {
    const std::wstring text = Numbered(100000);
    Form().Text1.SetText(Narrow(text));
    ASSERT_NE(Held().find(SoftBreak), std::wstring::npos) << "held in pieces";
    EXPECT_EQ(GetWindowTextLengthW(Field()), 100000);
    EXPECT_EQ(Difference(text, ui::win32::TextOfWindow(Field())), "");
    SendMessageW(Field(), EM_SETSEL, 4095, 4099);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 4095u);
    EXPECT_EQ(end, 4099u);
    Press('C', false, true);
    EXPECT_EQ(ClipboardText(), text.substr(4095, 4));

    // Another program asks by WM_GETTEXTLENGTH and WM_GETTEXT.
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    const std::wstring folder = self.substr(0, self.find_last_of(L"\\/") + 1);
    const std::wstring reader = folder + L"quimbel_field_reader.exe";
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring file = std::wstring(temporary) + L"quimbel_field_reader.txt";
    wchar_t handle[32];
    swprintf(handle, 32, L"%llx",
             static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(Field())));
    std::wstring command = L"\"" + reader + L"\" " + handle + L" \"" + file + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(reader.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << "could not start the reader: error " << GetLastError();
    // The reader's messages are answered while it runs.
    DWORD code = 2;
    const ULONGLONG until = GetTickCount64() + 60000;
    while (GetTickCount64() < until && MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 1000,
                                                                 QS_ALLINPUT) != WAIT_OBJECT_0)
        Pump(system_);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u) << "the reader got the whole text";
    std::wstring read;
    if (FILE* in = _wfopen(file.c_str(), L"rb")) {
        wchar_t buffer[4096];
        for (std::size_t got; (got = fread(buffer, sizeof(wchar_t), 4096, in)) > 0;)
            read.append(buffer, got);
        fclose(in);
    }
    DeleteFileW(file.c_str());
    EXPECT_EQ(Difference(text, read), "");
}

// Deleting all of a long line makes the field wrap again; Undo gives it
// back whole, in a field that no longer wraps.
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
    Pump(system_);
    ExpectText(text, "after Ctrl+Z");
    EXPECT_NE(Held().find(SoftBreak), std::wstring::npos) << "held in pieces again";
}

} // namespace
} // namespace quimbel::testing
