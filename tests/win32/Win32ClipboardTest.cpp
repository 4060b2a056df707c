// The clipboard is every program's: the program opens it only for the user's
// own copy, cut or paste, and whatever happens then, another program can open
// it straight after and finds nothing of it locked. And no failure inside a
// window's message unwinds into Windows.

#include "FailingAllocation.h"
#include "Form1.h"
#include "Forms.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace quimbel::testing {
namespace {

std::wstring Letters(std::size_t count) {
    std::wstring text;
    for (std::size_t i = 0; i < count; ++i)
        text += static_cast<wchar_t>(L'a' + i % 26);
    return text;
}

// Whether another program can open the clipboard at once: a small program of
// its own, next to this one, tries once.
bool AnotherProgramOpensTheClipboard() {
    std::wstring probe(MAX_PATH, L'\0');
    probe.resize(GetModuleFileNameW(nullptr, probe.data(), MAX_PATH));
    probe = probe.substr(0, probe.find_last_of(L"\\/") + 1) + L"quimbel_clipboard_probe.exe";
    std::wstring command = L"\"" + probe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(probe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "could not start the clipboard probe: error " << GetLastError();
        return false;
    }
    DWORD code = 2;
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0;
}

// How many locks the clipboard's text holds.
UINT ClipboardTextLocks() {
    if (!OpenClipboard(nullptr))
        return ~0u;
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const UINT locks = data ? GlobalFlags(data) & GMEM_LOCKCOUNT : ~0u;
    CloseClipboard();
    return locks;
}

using SharedClipboard = MainWindowField;

TEST_F(SharedClipboard, APasteThatRunsOutOfMemoryLeavesItFreeAndTheFieldAsItWas) {
    const std::wstring pasted = Letters(6000);
    const struct {
        const char* name;
        std::wstring before;
    } cases[] = {
        {"into a field that wraps", L"17"},
        // Its rows laid out again from where the paste would go.
        {"into a long line", Letters(20000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form().Text1.SetText(ui::win32::Utf8FromWide(c.before));
        PutOnClipboard(pasted);
        SetFocus(Field());
        const auto end = static_cast<WPARAM>(GetWindowTextLengthW(Field()));
        SendMessageW(Field(), EM_SETSEL, end, static_cast<LPARAM>(end));
        const std::size_t failedBefore = FailingAllocations::Failed();
        {
            // The pasted text, made the field's own, no longer fits in memory.
            const FailingAllocations outOfMemory(pasted.size() * sizeof(wchar_t));
            EXPECT_NO_THROW(SendMessageW(Field(), WM_PASTE, 0, 0));
        }
        ASSERT_GT(FailingAllocations::Failed(), failedBefore) << "the paste needed no memory";
        // Compared whole, but never printed: thousands of letters.
        EXPECT_TRUE(Form().Text1.Text() == ui::win32::Utf8FromWide(c.before));
        EXPECT_EQ(GetOpenClipboardWindow(), nullptr);
        EXPECT_TRUE(AnotherProgramOpensTheClipboard());
        EXPECT_EQ(ClipboardTextLocks(), 0u);

        // With memory again, the same paste goes in whole.
        SendMessageW(Field(), WM_PASTE, 0, 0);
        Pump(system_);
        EXPECT_TRUE(Form().Text1.Text() == ui::win32::Utf8FromWide(c.before + pasted));
        EXPECT_TRUE(AnotherProgramOpensTheClipboard());
    }
}

TEST_F(SharedClipboard, CopyAndCutLeaveItFreeForOtherPrograms) {
    const struct {
        const char* name;
        UINT message;
        const char* left;
    } cases[] = {{"copy", WM_COPY, "17 inches"}, {"cut", WM_CUT, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form().Text1.SetText("17 inches");
        SendMessageW(Field(), EM_SETSEL, 0, -1);
        SendMessageW(Field(), c.message, 0, 0);
        EXPECT_EQ(ClipboardText(), L"17 inches");
        EXPECT_EQ(Form().Text1.Text(), c.left);
        EXPECT_TRUE(AnotherProgramOpensTheClipboard());
        EXPECT_EQ(ClipboardTextLocks(), 0u);
    }
}

// Wine keeps a copy of what a process copied or pasted until that process
// next opens the clipboard; Windows keeps none there, and a program that opens
// the clipboard at every change only gets in others' way.
TEST(ClipboardListener, OnlyWhereCopiesAreKeptInTheProcess) {
    using ui::win32::ClipboardCopies;
    const struct {
        const char* name;
        ClipboardCopies copies;
        bool listens;
    } cases[] = {{"Windows", ClipboardCopies::KeptBySystem, false},
                 {"Wine", ClipboardCopies::KeptInProcess, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui::Win32WindowSystem system(GetModuleHandleW(nullptr), ui::win32::User32Function,
                                     c.copies);
        // Windows says whether it had the window among its listeners.
        EXPECT_EQ(RemoveClipboardFormatListener(system.MessageWindow()) != FALSE, c.listens);
    }
}

TEST_F(SharedClipboard, AFailureInsideAControlsMessageStaysThere) {
    // The information label draws its lines itself, which takes memory.
    const HWND label = ui::Win32ControlOf(Form(), "Label3");
    InvalidateRect(label, nullptr, FALSE);
    const std::size_t failedBefore = FailingAllocations::Failed();
    {
        const FailingAllocations outOfMemory(0);
        EXPECT_NO_THROW(SendMessageW(label, WM_PAINT, 0, 0));
    }
    ASSERT_GT(FailingAllocations::Failed(), failedBefore) << "painting needed no memory";
    // The failed paint still ended: Windows does not ask for it again and again.
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(label, &update, FALSE));
    // And the label goes on: with memory again it draws its caption, black
    // on cyan.
    const Rendering drawn(label, 0);
    bool ink = false;
    for (int y = 0; y < drawn.Bottom() && !ink; ++y)
        for (int x = 0; x < drawn.Right() && !ink; ++x)
            ink = drawn.At(x, y) == RGB(0, 0, 0);
    EXPECT_TRUE(ink);
}

} // namespace
} // namespace quimbel::testing
