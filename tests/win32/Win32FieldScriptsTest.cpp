// The Windows field with Windows' own text services (Uniscribe) under it:
// where rows break and the caret stops in Chinese, Devanagari and Thai; and
// how it draws.

#include "FailingAllocation.h"
#include "FieldScripts.h"
#include "Form1.h"
#include "Forms.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"
#include "Win32Uniscribe.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace quimbel::testing {
namespace {

// --- What Uniscribe answers ---------------------------------------------------

std::vector<std::uint8_t> FlagsOf(std::wstring_view line) {
    ui::win32::UniscribeAnalysis analysis;
    std::vector<std::uint8_t> flags(line.size());
    analysis.Analyse(line, flags.data());
    return flags;
}

TEST(UniscribeAnalysis, BreaksBlanksAndStopsAsTheLineBreakingRulesSay) {
    using ui::win32::BreakBefore;
    using ui::win32::StopBefore;
    const struct {
        const char* name;
        std::wstring_view text;
        std::size_t at;
        std::uint8_t flag;
        bool set;
    } cases[] = {
        {"between ideographs", L"\x663E\x793A\x5C4F", 1, BreakBefore, true},
        {"before a full-width comma", L"\x663E\x793A\xFF0C\x5C4F", 2, BreakBefore, false},
        {"after a full-width comma", L"\x663E\x793A\xFF0C\x5C4F", 3, BreakBefore, true},
        {"before a full stop", L"\x5C4F\x3002", 1, BreakBefore, false},
        {"after an opening bracket", L"\x5C4F\xFF08\x5C4F", 2, BreakBefore, false},
        {"after a blank", L"17 in", 3, BreakBefore, true},
        {"inside a word", L"17 in", 4, BreakBefore, false},
        {"a blank", L"17 in", 2, ui::win32::Blank, true},
        {"inside a Devanagari cluster", L"\x0915\x093F\x0915", 1, StopBefore, false},
        {"after a Devanagari cluster", L"\x0915\x093F\x0915", 2, StopBefore, true},
        {"inside a Thai cluster", L"\x0E01\x0E34\x0E01", 1, StopBefore, false},
        {"after a Thai cluster", L"\x0E01\x0E34\x0E01", 2, StopBefore, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ((FlagsOf(c.text)[c.at] & c.flag) != 0, c.set);
    }
}

// --- The main window's field ---------------------------------------------------

class ScriptField : public MainWindowField {
protected:
    void Show(std::wstring_view text) {
        Form().Text1.SetText(ui::win32::Utf8FromWide(text));
        Pump(system_);
    }
    // Where each row starts, as another program reads it (EM_LINEINDEX from
    // quimbel_field_reader.exe, next to the test).
    std::vector<std::size_t> RowStartsReadFromOutside() {
        std::vector<std::size_t> starts;
        const std::optional<ReaderRun> run = RunFieldReader(system_, Field(), L"--rows");
        if (!run)
            return starts;
        std::istringstream in(run->written);
        for (long long start = 0; in >> start;)
            starts.push_back(static_cast<std::size_t>(start));
        return starts;
    }
    std::vector<std::size_t> RowStarts() {
        std::vector<std::size_t> starts;
        const auto rows = SendMessageW(Field(), EM_GETLINECOUNT, 0, 0);
        for (LRESULT row = 0; row < rows; ++row)
            starts.push_back(static_cast<std::size_t>(
                SendMessageW(Field(), EM_LINEINDEX, static_cast<WPARAM>(row), 0)));
        return starts;
    }
    void Press(WPARAM key) {
        MSG press{Field(), WM_KEYDOWN, key, 1, 0, {}};
        system_.DeliverMessage(press);
        Pump(system_);
    }
};

bool IsClosingPunctuation(wchar_t unit) {
    return std::wstring_view(L"\xFF0C\x3002\x3001\xFF09\x300D\x300F\xFF01\xFF1F\xFF1A\xFF1B")
               .find(unit) != std::wstring_view::npos;
}
bool IsIdeograph(wchar_t unit) { return unit >= 0x4E00 && unit < 0xA000; }

// Read back as another program reads rows: a row starts between two
// ideographs where one fits no more, never at closing punctuation.
TEST_F(ScriptField, ChineseRowsBreakBetweenIdeographsNeverBeforeClosingPunctuation) {
    std::wstring clauses;
    for (int i = 0; i < 40; ++i)
        clauses += i % 2 ? L"\x5C4F\x5E55\x5C3A\x5BF8\x3002" : L"\x6362\x7B97\x7ED3\x679C\xFF0C";
    // 显示屏尺寸 换算之后得到的结果: the blank is no reason to end the first row.
    const std::wstring mixed =
        L"\x663E\x793A\x5C4F\x5C3A\x5BF8 \x6362\x7B97\x4E4B\x540E\x5F97\x5230\x7684\x7ED3\x679C";
    for (const std::wstring& text : {clauses, mixed}) {
        SCOPED_TRACE(ui::win32::Utf8FromWide(text));
        Show(text);
        const std::vector<std::size_t> starts = RowStartsReadFromOutside();
        ASSERT_GT(starts.size(), 1u);
        EXPECT_EQ(starts, RowStarts());
        bool betweenIdeographs = false;
        for (std::size_t row = 1; row < starts.size(); ++row) {
            const std::size_t at = starts[row];
            ASSERT_LT(at, text.size());
            EXPECT_FALSE(IsClosingPunctuation(text[at])) << "row " << row << " starts at " << at;
            betweenIdeographs |= IsIdeograph(text[at - 1]) && IsIdeograph(text[at]);
        }
        EXPECT_TRUE(betweenIdeographs);
        if (text == mixed) {
            EXPECT_GT(starts[1], 6u) << "the first row stopped at the blank";
        }
    }
}

// Right and Left walk over a cluster whole, as Uniscribe's stops say.
TEST_F(ScriptField, TheCaretNeverStopsInsideACluster) {
    // क ि क, ก ิ ก
    Show(L"\x0915\x093F\x0915 \x0E01\x0E34\x0E01");
    SetFocus(Field());
    SendMessageW(Field(), EM_SETSEL, 0, 0);
    std::vector<DWORD> forward{Caret()};
    for (int i = 0; i < 8; ++i) {
        Press(VK_RIGHT);
        forward.push_back(Caret());
    }
    EXPECT_EQ(forward, (std::vector<DWORD>{0, 2, 3, 4, 6, 7, 7, 7, 7}));
    std::vector<DWORD> back;
    for (int i = 0; i < 6; ++i) {
        Press(VK_LEFT);
        back.push_back(Caret());
    }
    EXPECT_EQ(back, (std::vector<DWORD>{6, 4, 3, 2, 0, 0}));
}

// Each row is drawn where it is measured: its ink lies within the extent
// its caret positions give and reaches both ends of it, also with a
// selection that starts inside the text (which must not reshape it).
TEST_F(ScriptField, EachRowIsDrawnAsWideAsItIsMeasured) {
    SetWindowPos(Field(), nullptr, 0, 0, 400, 60, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetFocus(Field());
    Pump(system_);
    const auto x = [&](std::size_t at) {
        return static_cast<int>(
            static_cast<short>(LOWORD(SendMessageW(Field(), EM_POSFROMCHAR, at, 0))));
    };
    // A row's height; glyphs keep a little inside their advances, more in a
    // larger font (at a higher resolution).
    TEXTMETRICW metrics{};
    const HDC screen = GetDC(Field());
    const HGDIOBJ previous =
        SelectObject(screen, reinterpret_cast<HGDIOBJ>(SendMessageW(Field(), WM_GETFONT, 0, 0)));
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, previous);
    ReleaseDC(Field(), screen);
    const int slack = std::max<int>(3, metrics.tmHeight / 5);
    for (const Script& script : Scripts) {
        SCOPED_TRACE(script.name);
        const std::wstring_view text = script.text;
        Show(text);
        ASSERT_EQ(RowStarts().size(), 1u) << "one row in a field this wide";
        // The extent the caret's places give, stop by stop.
        int left = INT_MAX;
        int right = INT_MIN;
        std::vector<std::size_t> stops;
        for (std::size_t at = 0; at <= text.size(); ++at) {
            SendMessageW(Field(), EM_SETSEL, at, static_cast<LPARAM>(at));
            const DWORD caret = Caret();
            if (!stops.empty() && stops.back() == caret)
                continue;
            stops.push_back(caret);
            left = std::min(left, x(caret));
            right = std::max(right, x(caret));
        }
        ASSERT_GT(stops.size(), 3u);
        const auto inkOf = [&](const char* how) {
            SCOPED_TRACE(how);
            const Rendering shown(Field(), 0);
            const COLORREF background = shown.At(shown.Right() - 1, shown.Bottom() - 1);
            int inkLeft = INT_MAX;
            int inkRight = INT_MIN;
            for (int y = 0; y < std::min<int>(metrics.tmHeight, shown.Bottom()); ++y)
                for (int column = 0; column < shown.Right(); ++column)
                    if (shown.At(column, y) != background) {
                        inkLeft = std::min(inkLeft, column);
                        inkRight = std::max(inkRight, column + 1);
                    }
            EXPECT_GE(inkLeft, left - 1);
            EXPECT_LE(inkLeft, left + slack);
            EXPECT_LE(inkRight, right + 1);
            EXPECT_GE(inkRight, right - slack);
        };
        SendMessageW(Field(), EM_SETSEL, 0, 0);
        inkOf("nothing selected");
        SendMessageW(Field(), EM_SETSEL, stops[stops.size() / 2], static_cast<LPARAM>(text.size()));
        inkOf("selected from inside");
    }
}

// A run of blanks far wider than the field wraps into rows of its width, so
// that a paint or a key walks a row, not the run.
TEST_F(ScriptField, ARunOfBlanksWiderThanTheFieldWraps) {
    const std::wstring text = L"x" + std::wstring(100000, L' ') + L"y";
    SetFocus(Field());
    Show(text);
    UpdateWindow(Field());
    RECT client{};
    GetClientRect(Field(), &client);
    const std::vector<std::size_t> starts = RowStarts();
    ASSERT_GT(starts.size(), 100u);
    for (std::size_t row = 1; row < starts.size(); ++row)
        ASSERT_LT(starts[row] - starts[row - 1], static_cast<std::size_t>(client.right)) << row;
    SendMessageW(Field(), EM_SETSEL, text.size(), static_cast<LPARAM>(text.size()));
    Press(VK_LEFT);
    EXPECT_EQ(Caret(), text.size() - 1);
    SendMessageW(Field(), EM_SETSEL, 1, 1);
    Press(VK_RIGHT);
    EXPECT_EQ(Caret(), 2u);
    UpdateWindow(Field());
    EXPECT_EQ(ui::win32::TextOfWindow(Field()), text);
}

// A paint that fails halfway (out of memory) leaves the device context it
// drew in as it was given, and the next paint draws the text.
TEST_F(ScriptField, APaintThatFailsLeavesTheDeviceContextAsItWas) {
    Show(L"17 inches, and some more text to draw");
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 100);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
    const HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
    const COLORREF color = GetTextColor(dc);
    const int mode = GetBkMode(dc);
    const std::size_t failedBefore = FailingAllocations::Failed();
    {
        const FailingAllocations outOfMemory(0);
        SendMessageW(Field(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        InvalidateRect(Field(), nullptr, FALSE);
        UpdateWindow(Field());
    }
    EXPECT_GT(FailingAllocations::Failed(), failedBefore) << "the paint needed no memory";
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), bitmap);
    EXPECT_EQ(GetTextColor(dc), color);
    EXPECT_EQ(GetBkMode(dc), mode);
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);

    const Rendering shown(Field(), 0);
    int ink = 0;
    for (int y = 0; y < shown.Bottom(); ++y)
        for (int x = 0; x < shown.Right(); ++x)
            ink += shown.At(x, y) != GetSysColor(COLOR_WINDOW);
    EXPECT_GT(ink, 20) << "the text is drawn";
}

// Tab stops every eight average Latin letters, as a stock edit has them,
// not eight of a Chinese font's wide average: "17<Tab>41.99" fits a row.
TEST_F(ScriptField, TabsStopEveryEightAverageLatinLetters) {
    Show(L"17\t41.99");
    EXPECT_EQ(RowStarts().size(), 1u);
    const HDC dc = GetDC(Field());
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(Field(), WM_GETFONT, 0, 0)));
    SIZE letters{};
    GetTextExtentPoint32W(dc, L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52,
                          &letters);
    SelectObject(dc, previous);
    ReleaseDC(Field(), dc);
    const int average = (letters.cx / 26 + 1) / 2;
    const auto x = [&](std::size_t at) {
        return static_cast<short>(LOWORD(SendMessageW(Field(), EM_POSFROMCHAR, at, 0)));
    };
    EXPECT_EQ(x(3) - x(0), 8 * average);
}

// Ctrl+BackSpace takes the word before the caret, whatever character the
// key makes after it: 0x7F on Windows, a BackSpace under Wine. Ctrl+H is
// still a BackSpace.
TEST_F(ScriptField, CtrlBackSpaceTakesTheWordBefore) {
    const struct {
        const char* name;
        WPARAM key;
        wchar_t character;
        std::wstring_view left;
    } cases[] = {
        {"as Windows types it", VK_BACK, 0x7F, L"17 inches "},
        {"as Wine types it", VK_BACK, L'\b', L"17 inches "},
        {"Ctrl+H", 'H', L'\b', L"17 inches wid"},
    };
    SetFocus(Field());
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE held[256];
    std::copy(std::begin(keys), std::end(keys), std::begin(held));
    held[VK_CONTROL] = held[VK_LCONTROL] = 0x80;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Show(L"17 inches wide");
        SendMessageW(Field(), EM_SETSEL, 14, 14);
        SetKeyboardState(held);
        SendMessageW(Field(), WM_KEYDOWN, c.key, 1);
        SendMessageW(Field(), WM_CHAR, c.character, 1);
        SetKeyboardState(keys);
        EXPECT_EQ(ui::win32::TextOfWindow(Field()), c.left);
    }
}

// The context menu's items are drawn in the field's font (the menu font
// may have no Chinese), still named for screen readers, and still chosen
// by their access keys.
TEST_F(ScriptField, TheContextMenuIsDrawnInTheFieldsFontAndKeepsItsKeys) {
    struct Seen {
        std::vector<std::wstring> names;
        bool ownerDrawn = true;
    } seen;
    // A window of the test's own, whose timer fires inside the menu's loop.
    const HWND watcher =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(watcher, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));
    SetWindowLongPtrW(
        watcher, GWLP_WNDPROC,
        reinterpret_cast<LONG_PTR>(+[](HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) -> LRESULT {
            if (message != WM_TIMER)
                return DefWindowProcW(window, message, wParam, lParam);
            KillTimer(window, wParam);
            auto& seen = *reinterpret_cast<Seen*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            const HWND popup = FindWindowW(L"#32768", nullptr);
            const auto menu =
                popup ? reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)) : nullptr;
            for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
                MENUITEMINFOW info{};
                info.cbSize = sizeof info;
                info.fMask = MIIM_FTYPE | MIIM_DATA;
                GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
                if (info.fType & MFT_SEPARATOR)
                    continue;
                seen.ownerDrawn &= (info.fType & MFT_OWNERDRAW) != 0;
                const auto* accessible = reinterpret_cast<const MSAAMENUINFO*>(info.dwItemData);
                if (accessible && accessible->dwMSAASignature == static_cast<DWORD>(MSAA_MENU_SIG))
                    seen.names.emplace_back(accessible->pszWText, accessible->cchWText);
            }
            // 全选(&A): its access key.
            PostMessageW(popup ? popup : window, WM_CHAR, L'a', 1);
            return 0;
        }));
    Show(L"17 inches");
    SetFocus(Field());
    SendMessageW(Field(), EM_SETSEL, 0, 0);
    SetTimer(watcher, 1, 300, nullptr);
    SendMessageW(Field(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Field()), -1);
    DestroyWindow(watcher);
    EXPECT_TRUE(seen.ownerDrawn);
    const std::vector<std::wstring> names{L"\x64A4\x6D88(&U)", L"\x526A\x5207(&T)",
                                          L"\x590D\x5236(&C)", L"\x7C98\x8D34(&P)",
                                          L"\x5220\x9664(&D)", L"\x5168\x9009(&A)"};
    EXPECT_EQ(seen.names, names);
    DWORD start = 1;
    DWORD end = 0;
    SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 9u) << "A chose Select All";
}

} // namespace
} // namespace quimbel::testing
