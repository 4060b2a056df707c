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
        {"a surrogate pair stays whole",
         L"a\xD83D\xDE00"
         L"bc",
         2, L"a\xD83D\xDE00\r\r\nbc"},
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

} // namespace
} // namespace quimbel::testing
