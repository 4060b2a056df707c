// What reaches a Windows field: typed text in the order typed, an input
// method's questions answered from the field's own text and rows, and a field
// that survives its window's handlers and running out of memory, as a stock
// edit does. Each field here is made in a window of the test's own, which
// records what the field tells it.

#include "FailingAllocation.h"
#include "Form1.h"
#include "Forms.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"

#include <imm.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quimbel::testing {
namespace {

constexpr wchar_t CtrlV = 0x16;
constexpr wchar_t CtrlY = 0x19;
constexpr wchar_t CtrlZ = 0x1A;

// The window a field tells of its changes: it counts each notification, and
// destroys the field from the one it is told to. It allocates nothing, so
// that a test that makes allocations fail makes only the field's fail.
struct FieldParent {
    static constexpr std::size_t Kinds = 16;
    HWND field = nullptr;
    WORD destroyOn = 0;
    // How many of each notification came.
    WORD codes[Kinds] = {};
    std::size_t counts[Kinds] = {};
    // Notifications while the field was being destroyed, which may only say
    // that it lost the focus, as a stock edit's do; and once it was gone.
    std::size_t whileDestroyed = 0;
    std::size_t lostFocusWhileDestroyed = 0;
    std::size_t afterDestroyed = 0;
    bool destroyed = false;
    bool gone = false;

    std::size_t Count(WORD code) const {
        for (std::size_t i = 0; i < Kinds; ++i)
            if (codes[i] == code)
                return counts[i];
        return 0;
    }
    void Add(WORD code) {
        for (std::size_t i = 0; i < Kinds; ++i) {
            if (codes[i] == code || counts[i] == 0) {
                codes[i] = code;
                ++counts[i];
                return;
            }
        }
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* parent = reinterpret_cast<FieldParent*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!parent || message != WM_COMMAND)
            return DefWindowProcW(window, message, wParam, lParam);
        // Once the field is gone, anything it says comes from memory it no
        // longer owns, whichever window it names.
        if (parent->gone) {
            ++parent->afterDestroyed;
            return 0;
        }
        if (!parent->field || reinterpret_cast<HWND>(lParam) != parent->field)
            return DefWindowProcW(window, message, wParam, lParam);
        const WORD code = HIWORD(wParam);
        parent->Add(code);
        if (parent->destroyed) {
            ++parent->whileDestroyed;
            parent->lostFocusWhileDestroyed += code == EN_KILLFOCUS;
        } else if (code == parent->destroyOn) {
            parent->destroyed = true;
            DestroyWindow(parent->field);
            parent->gone = true;
        }
        return 0;
    }
};

class FieldInput : public ::testing::Test {
public:
    void SetUp() override {
        WNDCLASSEXW description{};
        description.cbSize = sizeof description;
        description.lpfnWndProc = FieldParent::Procedure;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = L"Quimbel.Test.FieldParent";
        ASSERT_NE(RegisterClassExW(&description), 0);
        window_ = CreateWindowExW(0, description.lpszClassName, L"Field", WS_OVERLAPPEDWINDOW, 0, 0,
                                  400, 300, nullptr, nullptr, description.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&parent_));
        ShowWindow(window_, SW_SHOW);
        runtime_.Start<forms::Form1>();
        MakeField();
    }
    void TearDown() override {
        DestroyWindow(window_);
        Pump(system_);
        UnregisterClassW(L"Quimbel.Test.FieldParent", GetModuleHandleW(nullptr));
    }

    // A field as the main window makes its Text1, 200 by 80 pixels.
    void MakeField() {
        const ui::WindowPlan& plan = runtime_.DefaultInstance<forms::Form1>().Plan();
        const ui::ControlPlan& text1 =
            plan.controls[static_cast<std::size_t>(plan.IndexOf("Text1"))];
        parent_ = {};
        parent_.field = ui::win32::TextBoxClass.create({GetModuleHandleW(nullptr),
                                                        window_,
                                                        1,
                                                        text1,
                                                        system_.Accessibility(),
                                                        {10, 10, 200, 80}});
        ASSERT_NE(parent_.field, nullptr);
        Pump(system_);
    }
    HWND Field() const { return parent_.field; }
    std::wstring Text() const { return ui::win32::TextOfWindow(Field()); }
    void SetText(std::wstring_view text) {
        SendMessageW(Field(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::wstring(text).c_str()));
    }
    void Select(std::size_t start, std::size_t end) {
        SendMessageW(Field(), EM_SETSEL, start, static_cast<LPARAM>(end));
    }
    std::pair<std::size_t, std::size_t> Selection() const {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }
    // Each unit as its own WM_CHAR, queued as fast as an emoji picker sends them.
    void Type(std::wstring_view units) {
        for (const wchar_t unit : units)
            PostMessageW(Field(), WM_CHAR, unit, 1);
        Pump(system_);
    }
    // Straight to the field, with nothing of the event loop's in between.
    void Send(wchar_t unit) { SendMessageW(Field(), WM_CHAR, unit, 1); }
    void Key(WPARAM key) {
        const auto scan =
            static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC));
        PostMessageW(Field(), WM_KEYDOWN, key, 1 | scan << 16 | LPARAM{1} << 24);
        Pump(system_);
    }
    std::vector<std::size_t> RowStarts() const {
        std::vector<std::size_t> starts;
        const auto rows = SendMessageW(Field(), EM_GETLINECOUNT, 0, 0);
        for (LRESULT row = 0; row < rows; ++row)
            starts.push_back(static_cast<std::size_t>(SendMessageW(Field(), EM_LINEINDEX, row, 0)));
        return starts;
    }
    // The rows laid out anew, as for a new font: the same font again.
    std::vector<std::size_t> RowStartsWrappedAnew() const {
        SendMessageW(Field(), WM_SETFONT,
                     static_cast<WPARAM>(SendMessageW(Field(), WM_GETFONT, 0, 0)), FALSE);
        return RowStarts();
    }
    POINT PointOf(std::size_t at) const {
        const LRESULT place = SendMessageW(Field(), EM_POSFROMCHAR, at, 0);
        return {static_cast<short>(LOWORD(place)), static_cast<short>(HIWORD(place))};
    }
    int RowHeight() const {
        const std::vector<std::size_t> starts = RowStarts();
        return PointOf(starts.at(1)).y - PointOf(starts.at(0)).y;
    }

    ui::Win32WindowSystem system_;
    ui::FormsRuntime runtime_{system_};
    HWND window_ = nullptr;
    FieldParent parent_;
};

// Words enough for several rows of the field.
std::wstring Sentence() {
    return L"The screen measures 17 inches across, which is about 43.18 centimetres; "
           L"\x663E\x793A\x5C4F\x5C3A\x5BF8\x6362\x7B97 and more words to wrap over rows";
}

// --- Typed text in the order typed -------------------------------------------

TEST_F(FieldInput, TypedTextGoesInInTheOrderTyped) {
    struct Step {
        enum Kind { Typed, Pressed, Pasted, Undo, Redo, Holds } kind;
        std::wstring_view text = {};
        WPARAM key = 0;
    };
    const auto typed = [](std::wstring_view units) { return Step{Step::Typed, units}; };
    const auto pressed = [](WPARAM key) { return Step{Step::Pressed, {}, key}; };
    const auto pasted = [](std::wstring_view text) { return Step{Step::Pasted, text}; };
    const auto holds = [](std::wstring_view text) { return Step{Step::Holds, text}; };
    const Step undo{Step::Undo};
    const Step redo{Step::Redo};
    const std::wstring_view man = L"\xD83D\xDC68";
    const std::wstring_view manJoiner = L"\xD83D\xDC68\x200D";
    const std::wstring_view family = L"\xD83D\xDC68\x200D\xD83D\xDC69";
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::wstring expected;
    } cases[] = {
        {"a family from an emoji picker, after Left",
         {typed(L"XY"), pressed(VK_LEFT), typed(family)},
         L"X" + std::wstring(family) + L"Y"},
        {"letters typed before a mark",
         {typed(L"\x0301"), pressed(VK_HOME), typed(L"abc")},
         L"abc\x0301"},
        {"a pair, then a letter, before a mark",
         {typed(L"\x0301"), pressed(VK_HOME), typed(L"\xD83D\xDE00"), typed(L"x")},
         L"\xD83D\xDE00x\x0301"},
        {"typed after a paste that ends in a joiner",
         {typed(L"XY"), pressed(VK_LEFT), pasted(manJoiner), typed(L"ab")},
         L"X" + std::wstring(manJoiner) + L"abY"},
        {"typed after a joiner, before a pair",
         {typed(L"XY"), pressed(VK_LEFT), typed(manJoiner), typed(man), typed(L"!")},
         L"X" + std::wstring(manJoiner) + std::wstring(man) + L"!Y"},
        {"undone and made again after a paste that ends in a joiner",
         {typed(L"XY"), pressed(VK_LEFT), pasted(manJoiner), typed(L"ab"), undo,
          holds(L"X" + std::wstring(manJoiner) + L"Y"), undo, holds(L"XY"), redo, redo,
          pressed(VK_RIGHT), typed(L"c")},
         L"X" + std::wstring(manJoiner) + L"abcY"},
        {"typed on after an Undo of typing before a mark",
         {typed(L"\x0301"), pressed(VK_HOME), typed(L"ab"), undo, holds(L"\x0301"), typed(L"cd")},
         L"cd\x0301"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetText(L"");
        SetFocus(Field());
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::Typed:
                Type(step.text);
                break;
            case Step::Pressed:
                Key(step.key);
                break;
            case Step::Pasted:
                PutOnClipboard(step.text);
                Type(std::wstring(1, CtrlV));
                break;
            case Step::Undo:
                Type(std::wstring(1, CtrlZ));
                break;
            case Step::Redo:
                Type(std::wstring(1, CtrlY));
                break;
            case Step::Holds:
                EXPECT_EQ(Text(), step.text);
                break;
            }
        }
        EXPECT_EQ(Text(), c.expected);
    }
}

// --- An input method -----------------------------------------------------------

TEST_F(FieldInput, WmUnicharTypesAnyCharacterAndSaysItIsUnderstood) {
    EXPECT_EQ(SendMessageW(Field(), WM_UNICHAR, UNICODE_NOCHAR, 0), TRUE);
    SetFocus(Field());
    const struct {
        const char* name;
        WPARAM codePoint;
        std::wstring_view typed;
    } cases[] = {
        {"a letter", L'a', L"a"},
        {"a Han character", 0x4E2D, L"\x4E2D"},
        {"beyond the first plane", 0x1F600, L"\xD83D\xDE00"},
        {"the last plane's last", 0x10FFFF, L"\xDBFF\xDFFF"},
        {"a surrogate alone", 0xD83D, L""},
        {"past the last plane", 0x110000, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetText(L"[]");
        Select(1, 1);
        EXPECT_EQ(SendMessageW(Field(), WM_UNICHAR, c.codePoint, 1), FALSE);
        EXPECT_EQ(Text(), L"[" + std::wstring(c.typed) + L"]");
    }
}

TEST_F(FieldInput, AnInputMethodIsToldWhereEachCharacterIs) {
    const std::wstring text = Sentence();
    SetText(text);
    const std::vector<std::size_t> rows = RowStarts();
    ASSERT_GE(rows.size(), 3u);
    RECT document{};
    GetClientRect(Field(), &document);
    MapWindowPoints(Field(), nullptr, reinterpret_cast<POINT*>(&document), 2);
    const std::size_t caret = rows[1] + 3;
    const struct {
        const char* name;
        DWORD offset;
        std::size_t at;
    } cases[] = {
        {"the caret", 0, caret},
        {"in its row", 2, caret + 2},
        {"in the next row", static_cast<DWORD>(rows[2] + 1 - caret), rows[2] + 1},
        {"past the text's end", 100000, text.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Select(caret, caret);
        IMECHARPOSITION position{};
        position.dwSize = sizeof position;
        position.dwCharPos = c.offset;
        ASSERT_NE(SendMessageW(Field(), WM_IME_REQUEST, IMR_QUERYCHARPOSITION,
                               reinterpret_cast<LPARAM>(&position)),
                  0);
        POINT expected = PointOf(c.at);
        ClientToScreen(Field(), &expected);
        EXPECT_EQ(position.pt.x, expected.x);
        EXPECT_EQ(position.pt.y, expected.y);
        EXPECT_EQ(static_cast<int>(position.cLineHeight), RowHeight());
        EXPECT_TRUE(EqualRect(&position.rcDocument, &document));
    }
}

// The input method asks what it may convert again, and may take a little
// more or less of it: the selection with its rows around it, never more.
TEST_F(FieldInput, AnInputMethodReconvertsTheSelectionWithItsRowsAround) {
    const std::wstring text = Sentence();
    SetText(text);
    const std::vector<std::size_t> rows = RowStarts();
    ASSERT_GE(rows.size(), 3u);
    const std::size_t start = rows[1] + 2;
    const std::size_t end = rows[1] + 6;
    Select(start, end);
    const auto ask = [&](std::vector<BYTE>& block) {
        const LRESULT size = SendMessageW(Field(), WM_IME_REQUEST, IMR_RECONVERTSTRING, 0);
        block.assign(static_cast<std::size_t>(size), 0);
        if (block.size() < sizeof(RECONVERTSTRING))
            return LRESULT{0};
        reinterpret_cast<RECONVERTSTRING*>(block.data())->dwSize = static_cast<DWORD>(size);
        return SendMessageW(Field(), WM_IME_REQUEST, IMR_RECONVERTSTRING,
                            reinterpret_cast<LPARAM>(block.data()));
    };
    std::vector<BYTE> block;
    ASSERT_NE(ask(block), 0);
    auto* offered = reinterpret_cast<RECONVERTSTRING*>(block.data());
    const auto* string = reinterpret_cast<const wchar_t*>(block.data() + offered->dwStrOffset);
    EXPECT_EQ(offered->dwVersion, 0u);
    EXPECT_EQ(std::wstring_view(string, offered->dwStrLen),
              std::wstring_view(text).substr(rows[1], rows[2] - rows[1]))
        << "the selection's row";
    EXPECT_EQ(offered->dwCompStrOffset, (start - rows[1]) * sizeof(wchar_t)) << "in bytes";
    EXPECT_EQ(offered->dwCompStrLen, end - start) << "in characters";
    EXPECT_EQ(offered->dwTargetStrOffset, offered->dwCompStrOffset);
    EXPECT_EQ(offered->dwTargetStrLen, offered->dwCompStrLen);

    // The input method takes one character more on each side: that is selected.
    offered->dwCompStrOffset -= sizeof(wchar_t);
    offered->dwCompStrLen += 2;
    EXPECT_NE(SendMessageW(Field(), WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING,
                           reinterpret_cast<LPARAM>(offered)),
              0);
    EXPECT_EQ(Selection(), std::make_pair(start - 1, end + 1));

    // Past the string offered, or once the text changed, it is refused.
    offered->dwCompStrLen = offered->dwStrLen + 1;
    EXPECT_EQ(SendMessageW(Field(), WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING,
                           reinterpret_cast<LPARAM>(offered)),
              0);
    offered->dwCompStrLen = 2;
    SendMessageW(Field(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"?"));
    EXPECT_EQ(SendMessageW(Field(), WM_IME_REQUEST, IMR_CONFIRMRECONVERTSTRING,
                           reinterpret_cast<LPARAM>(offered)),
              0);

    // A selection far longer than a clause is not offered.
    SetText(text + std::wstring(2000, L'x'));
    Select(0, text.size() + 2000);
    EXPECT_EQ(SendMessageW(Field(), WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 0);
}

// Composing starts with the caret's row in view, wherever the wheel left the
// field; the composition stays inside the field and the candidates off the
// caret's row.
TEST_F(FieldInput, AnInputMethodWritesInsideTheFieldAtTheCaret) {
    std::wstring text;
    for (int i = 0; i < 8; ++i)
        text += Sentence() + L" ";
    SetText(text);
    SetFocus(Field());
    const std::size_t caret = RowStarts().at(1) + 4;
    Select(caret, caret);
    SendMessageW(Field(), EM_LINESCROLL, 0, 12);
    ASSERT_GE(SendMessageW(Field(), EM_GETFIRSTVISIBLELINE, 0, 0), 2) << "the caret out of view";

    SendMessageW(Field(), WM_IME_STARTCOMPOSITION, 0, 0);
    const POINT at = PointOf(caret);
    RECT client{};
    GetClientRect(Field(), &client);
    EXPECT_GE(at.y, 0) << "the caret's row in view";
    EXPECT_LE(at.y + RowHeight(), client.bottom);

    const HIMC context = ImmGetContext(Field());
    ASSERT_NE(context, nullptr);
    COMPOSITIONFORM composition{};
    ASSERT_TRUE(ImmGetCompositionWindow(context, &composition));
    EXPECT_EQ(composition.dwStyle, static_cast<DWORD>(CFS_RECT));
    EXPECT_EQ(composition.ptCurrentPos.x, at.x);
    EXPECT_EQ(composition.ptCurrentPos.y, at.y);
    EXPECT_GE(composition.rcArea.left, 0);
    EXPECT_LE(composition.rcArea.right, client.right);
    EXPECT_GE(composition.rcArea.top, 0);
    EXPECT_LE(composition.rcArea.bottom, client.bottom);
    CANDIDATEFORM candidates{};
    ASSERT_TRUE(ImmGetCandidateWindow(context, 0, &candidates));
    EXPECT_EQ(candidates.dwStyle, static_cast<DWORD>(CFS_EXCLUDE));
    EXPECT_EQ(candidates.rcArea.top, at.y);
    EXPECT_EQ(candidates.rcArea.bottom, at.y + RowHeight());
    ImmReleaseContext(Field(), context);
    SendMessageW(Field(), WM_IME_ENDCOMPOSITION, 0, 0);
}

// --- The field's window may destroy it ---------------------------------------

// From whichever notification, however it came: the field sends nothing
// more and touches nothing of its own once its window destroyed it.
TEST_F(FieldInput, AWindowMayDestroyTheFieldFromAnyNotification) {
    const struct {
        const char* name;
        WORD code;
        void (*act)(FieldInput&);
    } cases[] = {
        {"EN_SETFOCUS, by SetFocus", EN_SETFOCUS, [](FieldInput& t) { SetFocus(t.Field()); }},
        {"EN_SETFOCUS, by a click", EN_SETFOCUS,
         [](FieldInput& t) {
             SendMessageW(t.Field(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
         }},
        {"EN_KILLFOCUS", EN_KILLFOCUS,
         [](FieldInput& t) {
             SetFocus(t.Field());
             SetFocus(t.window_);
         }},
        {"EN_UPDATE, by a key", EN_UPDATE, [](FieldInput& t) { t.Type(L"x"); }},
        {"EN_CHANGE, by a key", EN_CHANGE, [](FieldInput& t) { t.Type(L"x"); }},
        {"EN_CHANGE, by EM_REPLACESEL", EN_CHANGE,
         [](FieldInput& t) {
             SendMessageW(t.Field(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"x"));
         }},
        {"EN_CHANGE, by Undo", EN_CHANGE,
         [](FieldInput& t) {
             const WORD armed = std::exchange(t.parent_.destroyOn, WORD{0});
             t.Type(L"x");
             t.parent_.destroyOn = armed;
             SendMessageW(t.Field(), EM_UNDO, 0, 0);
         }},
        {"EN_MAXTEXT", EN_MAXTEXT,
         [](FieldInput& t) {
             SendMessageW(t.Field(), EM_SETLIMITTEXT, 1, 0);
             t.Type(L"xy");
         }},
        {"EN_ERRSPACE", EN_ERRSPACE,
         [](FieldInput& t) {
             PutOnClipboard(L"pasted text");
             const FailingAllocations outOfMemory(0);
             SendMessageW(t.Field(), WM_PASTE, 0, 0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetFocus(window_);
        MakeField();
        SetText(L"17 inches");
        parent_.destroyOn = c.code;
        c.act(*this);
        Pump(system_);
        EXPECT_FALSE(IsWindow(Field())) << "destroyed";
        ASSERT_TRUE(parent_.destroyed) << "the notification never came";
        EXPECT_EQ(parent_.whileDestroyed, parent_.lostFocusWhileDestroyed)
            << "only EN_KILLFOCUS after the one that destroyed it";
        EXPECT_EQ(parent_.afterDestroyed, 0u) << "notifications from a field destroyed";
    }
}

// --- Running out of memory ---------------------------------------------------

// Each allocation of an edit made to fail in turn: the text, its rows and the
// history stay as they were, the window hears EN_ERRSPACE, and nothing is
// left half done for the rows laid out anew to show.
TEST_F(FieldInput, AnEditThatRunsOutOfMemoryChangesNothingAndSaysSo) {
    const std::wstring text = Sentence();
    const struct {
        const char* name;
        void (*prepare)(FieldInput&);
        void (*edit)(FieldInput&);
    } cases[] = {
        {"a typed key", [](FieldInput&) {}, [](FieldInput& t) { t.Send(L'x'); }},
        // Seven characters fill a short string's own room: the eighth needs more.
        {"a typed key running on past its room",
         [](FieldInput& t) {
             for (int i = 0; i < 7; ++i)
                 t.Send(L'x');
         },
         [](FieldInput& t) { t.Send(L'y'); }},
        {"BackSpace", [](FieldInput&) {}, [](FieldInput& t) { t.Send(L'\b'); }},
        {"a paste",
         [](FieldInput&) {
             PutOnClipboard(L"pasted over\r\nrows and rows \xD83D\xDE00 of the field's width");
         },
         [](FieldInput& t) { t.Send(CtrlV); }},
        {"EM_REPLACESEL", [](FieldInput&) {},
         [](FieldInput& t) {
             SendMessageW(t.Field(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"replaced"));
         }},
        {"Undo",
         [](FieldInput& t) {
             SendMessageW(t.Field(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"replaced"));
         },
         [](FieldInput& t) { t.Send(CtrlZ); }},
        {"Redo",
         [](FieldInput& t) {
             SendMessageW(t.Field(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"replaced"));
             t.Type(std::wstring(1, CtrlZ));
         },
         [](FieldInput& t) { t.Send(CtrlY); }},
        {"WM_SETTEXT", [](FieldInput&) {},
         [](FieldInput& t) {
             SendMessageW(t.Field(), WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(L"a new text, long enough to wrap over rows"));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool failedOnce = false;
        for (std::size_t index = 0;; ++index) {
            SCOPED_TRACE(index);
            SetText(text);
            SetFocus(Field());
            Select(30, 34);
            c.prepare(*this);
            const std::wstring before = Text();
            const std::vector<std::size_t> rows = RowStarts();
            const auto selection = Selection();
            const LRESULT canUndo = SendMessageW(Field(), EM_CANUNDO, 0, 0);
            const std::size_t errors = parent_.Count(EN_ERRSPACE);
            bool failed = false;
            {
                const FailingAllocation outOfMemory(index);
                c.edit(*this);
                failed = outOfMemory.Failed();
            }
            if (!failed)
                break;
            failedOnce = true;
            EXPECT_EQ(Text(), before);
            EXPECT_EQ(Selection(), selection);
            EXPECT_EQ(SendMessageW(Field(), EM_CANUNDO, 0, 0), canUndo);
            EXPECT_EQ(parent_.Count(EN_ERRSPACE), errors + 1);
            EXPECT_EQ(RowStarts(), rows);
            EXPECT_EQ(RowStartsWrappedAnew(), rows);
            // The history as it was: Undo gives back what it gave before.
            if (canUndo) {
                SendMessageW(Field(), EM_UNDO, 0, 0);
                EXPECT_NE(Text(), before);
                EXPECT_EQ(RowStarts(), RowStartsWrappedAnew());
            }
        }
        EXPECT_TRUE(failedOnce) << "the edit allocated nothing";
    }
}

} // namespace
} // namespace quimbel::testing
