// What a screen reader learns of each window and control through Active
// Accessibility, asked in the program's own process and from another one as
// a reader does; the alerts and dialog events it hears; and the theme's
// colours under high contrast.

#include "AccessibilityTable.h"
#include "AccessibleReading.h"
#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"
#include "Win32WindowSystem.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quimbel::testing {
namespace {

LONG MsaaRole(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::Window:
        return ROLE_SYSTEM_CLIENT;
    case AccessibleRole::Dialog:
        return ROLE_SYSTEM_DIALOG;
    case AccessibleRole::Alert:
        return ROLE_SYSTEM_ALERT;
    case AccessibleRole::StaticText:
        return ROLE_SYSTEM_STATICTEXT;
    case AccessibleRole::EditableText:
        return ROLE_SYSTEM_TEXT;
    case AccessibleRole::PushButton:
        return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::Grouping:
        break;
    }
    return ROLE_SYSTEM_GROUPING;
}

// What a reader should hear, as the probe writes it.
std::string Expected(AccessibleRole role, std::string_view name, std::string_view description) {
    return std::to_string(MsaaRole(role)) + "\t" + EscapedLines(name) + "\t" +
           EscapedLines(description);
}

struct NoEvents final : ui::WindowEvents {
    void Clicked(int) override {}
    void CloseRequested() override {}
};

// The four windows shown side by side, each with its controls: what every
// row of the table names.
class AllWindows : public ::testing::Test {
protected:
    void SetUp() override {
        for (const AccessibleWindow& row : AccessibleWindows) {
            plans_.push_back(std::make_unique<ui::WindowPlan>(ui::PlanWindow(*row.design)));
            windows_.push_back(system_.MakeWindow(*plans_.back(), events_));
            windows_.back()->Show();
        }
        Pump(system_);
    }

    ui::Win32Window& WindowOf(const ui::WindowDesign* design) const {
        for (std::size_t i = 0; i < AccessibleWindows.size(); ++i)
            if (AccessibleWindows[i].design == design)
                return dynamic_cast<ui::Win32Window&>(*windows_[i]);
        throw std::logic_error("a window not in the table");
    }
    HWND ControlOf(const AccessibleControl& row) const {
        const ui::Win32Window& window = WindowOf(row.design);
        return window.Control(window.Plan().IndexOf(row.control));
    }

    // Each window and control of the table with what a reader should hear.
    std::vector<std::pair<HWND, std::string>> Expectations() const {
        std::vector<std::pair<HWND, std::string>> expected;
        for (const AccessibleWindow& row : AccessibleWindows)
            expected.emplace_back(WindowOf(row.design).Handle(),
                                  Expected(row.role, row.name, row.description));
        for (const AccessibleControl& row : AccessibleControls)
            expected.emplace_back(ControlOf(row), Expected(row.role, row.name, row.description));
        return expected;
    }

    // Form1 to Form4, in the table's order.
    static std::string FormName(const ui::WindowDesign* design) {
        for (std::size_t i = 0; i < AccessibleWindows.size(); ++i)
            if (AccessibleWindows[i].design == design)
                return "Form" + std::to_string(i + 1);
        return "?";
    }
    std::string What(HWND window) const {
        for (const AccessibleWindow& row : AccessibleWindows)
            if (WindowOf(row.design).Handle() == window)
                return FormName(row.design);
        for (const AccessibleControl& row : AccessibleControls)
            if (ControlOf(row) == window)
                return FormName(row.design) + "." + std::string(row.control);
        return "?";
    }

    ui::Win32WindowSystem system_;
    NoEvents events_;
    std::vector<std::unique_ptr<ui::WindowPlan>> plans_;
    std::vector<std::unique_ptr<ui::NativeWindow>> windows_;
};

TEST_F(AllWindows, EachWindowAndControlSaysWhatItIsInTheProgramsOwnProcess) {
    for (const auto& [window, expected] : Expectations()) {
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(Heard(window), expected) << What(window);
    }
}

// Windows shown and used without a reader set up neither COM nor oleacc;
// the first question a reader asks does, and is answered.
TEST_F(AllWindows, AReadersServicesAreSetUpWhenAReaderFirstAsks) {
    EXPECT_FALSE(system_.Accessibility().Started());
    const auto [window, expected] = Expectations().front();
    EXPECT_EQ(Heard(window), expected);
    EXPECT_TRUE(system_.Accessibility().Started());
}

// A field is a window class of the program's own: its value is its text,
// however long, and it says it takes the focus, as a stock edit would.
TEST_F(AllWindows, AFieldSaysItsTextAsItsValue) {
    const std::wstring texts[] = {L"", L"17.5", L"17\r\n\x82F1\x5BF8", std::wstring(20000, L'7')};
    for (const AccessibleControl& row : AccessibleControls) {
        if (row.role != AccessibleRole::EditableText)
            continue;
        ui::Win32Window& window = WindowOf(row.design);
        const HWND field = window.Control(window.Plan().IndexOf(row.control));
        for (const std::wstring& text : texts) {
            SCOPED_TRACE(std::string(row.control) + ", " + std::to_string(text.size()));
            SetWindowTextW(field, text.c_str());
            IAccessible* object = nullptr;
            ASSERT_TRUE(SUCCEEDED(
                AccessibleObjectFromWindow(field, static_cast<DWORD>(OBJID_CLIENT), AccessibleId,
                                           reinterpret_cast<void**>(&object))));
            VARIANT self{};
            self.vt = VT_I4;
            self.lVal = CHILDID_SELF;
            BSTR value = nullptr;
            EXPECT_EQ(object->get_accValue(self, &value), S_OK);
            EXPECT_TRUE(std::wstring_view(value ? value : L"", value ? SysStringLen(value) : 0) ==
                        text);
            SysFreeString(value);
            VARIANT state{};
            ASSERT_EQ(object->get_accState(self, &state), S_OK);
            EXPECT_TRUE(state.vt == VT_I4 && (state.lVal & STATE_SYSTEM_FOCUSABLE));
            object->Release();
            EXPECT_EQ(Heard(field), Expected(row.role, row.name, row.description));
        }
    }
}

// Its text as the probe wrote it, by window handle.
std::map<std::uintptr_t, std::string> ReadProbeOutput(const std::wstring& path) {
    std::map<std::uintptr_t, std::string> lines;
    std::string text;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            text.append(buffer, got);
        CloseHandle(file);
    }
    std::istringstream lineStream(text);
    std::string line;
    while (std::getline(lineStream, line)) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos)
            lines[std::stoull(line.substr(0, tab))] = line.substr(tab + 1);
    }
    return lines;
}

// The probe runs while this thread answers its questions: the window
// messages and COM calls that carry them arrive here.
TEST_F(AllWindows, EachWindowAndControlSaysWhatItIsToAReaderInAnotherProcess) {
    const std::vector<std::pair<HWND, std::string>> expected = Expectations();
    std::wstring directory(MAX_PATH, L'\0');
    directory.resize(GetModuleFileNameW(nullptr, directory.data(), MAX_PATH));
    directory = directory.substr(0, directory.find_last_of(L"\\/") + 1);
    const std::wstring probe = directory + L"quimbel_accessibility_probe.exe";
    std::wstring output(MAX_PATH, L'\0');
    output.resize(GetTempPathW(MAX_PATH, output.data()));
    output += L"quimbel-accessibility-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    std::wstring command = L"\"" + probe + L"\" \"" + output + L"\"";
    for (const auto& [window, text] : expected)
        command += L" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(window));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(probe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << "could not start the probe: error " << GetLastError();
    const ULONGLONG deadline = GetTickCount64() + 60000;
    DWORD code = 2;
    for (;;) {
        const DWORD waited =
            MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 1000, QS_ALLINPUT);
        if (waited == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &code);
            break;
        }
        Pump(system_);
        if (GetTickCount64() > deadline) {
            TerminateProcess(process.hProcess, 2);
            break;
        }
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(code, 0u) << "the probe failed or hung";

    const std::map<std::uintptr_t, std::string> heard = ReadProbeOutput(output);
    DeleteFileW(output.c_str());
    for (const auto& [window, text] : expected) {
        const auto line = heard.find(reinterpret_cast<std::uintptr_t>(window));
        ASSERT_NE(line, heard.end()) << What(window);
        EXPECT_EQ(line->second, text) << What(window);
    }
}

// MSAA has no relation between objects: a field is tied to its label by its
// name, which is the label's caption as the window shows it.
TEST_F(AllWindows, AFieldIsNamedAsItsLabelReadsOnScreen) {
    for (const AccessibleControl& row : AccessibleControls) {
        if (row.labelledBy.empty())
            continue;
        const ui::Win32Window& window = WindowOf(row.design);
        const HWND label = window.Control(window.Plan().IndexOf(row.labelledBy));
        const std::string shown = ui::win32::Utf8FromWide(ui::win32::TextOfWindow(label));
        const std::string heard = Heard(ControlOf(row));
        const std::size_t nameStart = heard.find('\t') + 1;
        EXPECT_EQ(heard.substr(nameStart, heard.find('\t', nameStart) - nameStart), shown)
            << row.control;
    }
}

// --- What a reader hears as a window opens ---------------------------------

struct HeardEvent {
    DWORD event;
    HWND window;
    LONG object;
    bool operator==(const HeardEvent&) const = default;
};
std::vector<HeardEvent> heardEvents;

void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                          DWORD) {
    if (child == CHILDID_SELF &&
        (event == EVENT_SYSTEM_ALERT || event == EVENT_SYSTEM_DIALOGSTART ||
         event == EVENT_SYSTEM_DIALOGEND))
        heardEvents.push_back({event, window, object});
}

// A reader listens from outside the process; the events reach this thread's
// hook as it runs its queue.
TEST(WindowEvents, APromptIsAnAlertAndADialogAndTheMainWindowNeither) {
    struct Case {
        const ui::WindowDesign* design;
        bool dialog;
        bool alert;
    };
    const Case cases[] = {{&forms::Form1::Layout, false, false},
                          {&forms::Form2::Layout, true, true},
                          {&forms::Form3::Layout, true, true},
                          {&forms::Form4::Layout, true, false}};
    ui::Win32WindowSystem system;
    NoEvents events;
    const HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_DIALOGEND, nullptr, RecordEvent,
                        GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    for (const Case& tried : cases) {
        const ui::WindowPlan plan = ui::PlanWindow(*tried.design);
        const auto window = system.MakeWindow(plan, events);
        auto& native = dynamic_cast<ui::Win32Window&>(*window);
        native.Build();
        const HWND handle = native.Handle();
        heardEvents.clear();
        window->Show();
        // Shown again while open: nothing new to announce.
        window->Show();
        Pump(system);
        std::vector<HeardEvent> expected;
        if (tried.dialog)
            expected.push_back({EVENT_SYSTEM_DIALOGSTART, handle, OBJID_WINDOW});
        if (tried.alert)
            expected.push_back({EVENT_SYSTEM_ALERT, handle, OBJID_CLIENT});
        EXPECT_EQ(heardEvents, expected) << "opening " << plan.caption;

        heardEvents.clear();
        window->Hide();
        window->Hide();
        Pump(system);
        expected.clear();
        if (tried.dialog)
            expected.push_back({EVENT_SYSTEM_DIALOGEND, handle, OBJID_WINDOW});
        EXPECT_EQ(heardEvents, expected) << "closing " << plan.caption;
    }
    UnhookWinEvent(hook);
}

// --- High contrast --------------------------------------------------------

// What the injected look-up says the user has chosen.
bool contrastChosen = false;
bool ContrastAsChosen() { return contrastChosen; }

// The colour most of an image is: a label's background, under its text.
COLORREF Background(const std::vector<COLORREF>& pixels) {
    std::map<COLORREF, int> counts;
    for (const COLORREF pixel : pixels)
        ++counts[pixel];
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

std::vector<COLORREF> PixelsOf(const Rendering& rendering) {
    std::vector<COLORREF> pixels;
    for (int y = rendering.Top(); y < rendering.Bottom(); ++y)
        for (int x = rendering.Left(); x < rendering.Right(); ++x)
            pixels.push_back(rendering.At(x, y));
    return pixels;
}

// The window as it stands on the screen, not drawn anew.
std::vector<COLORREF> ShownPixels(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    const HDC shown = GetDC(window);
    const HDC copy = CreateCompatibleDC(shown);
    const HBITMAP bitmap = CreateCompatibleBitmap(shown, client.right, client.bottom);
    const HGDIOBJ previous = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, client.right, client.bottom, shown, 0, 0, SRCCOPY);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x)
            pixels.push_back(GetPixel(copy, x, y));
    SelectObject(copy, previous);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(window, shown);
    return pixels;
}

class HighContrast : public ::testing::Test {
protected:
    void SetUp() override {
        contrastChosen = false;
        window_->Show();
        Pump(system_);
        label_ = window_->Control(plan_.IndexOf("Label3"));
        const ui::Rgb design =
            *plan_.controls[static_cast<std::size_t>(plan_.IndexOf("Label3"))].design->backColor;
        designBackground_ = RGB(design.red, design.green, design.blue);
        ASSERT_NE(designBackground_, GetSysColor(COLOR_WINDOW));
    }
    void TearDown() override { contrastChosen = false; }

    ui::Win32WindowSystem system_{GetModuleHandleW(nullptr), ui::win32::User32Function,
                                  ui::win32::ClipboardCopiesHere(), ContrastAsChosen};
    NoEvents events_;
    const ui::WindowPlan plan_ = ui::PlanWindow(forms::Form1::Layout);
    std::unique_ptr<ui::Win32Window> window_{
        dynamic_cast<ui::Win32Window*>(system_.MakeWindow(plan_, events_).release())};
    HWND label_ = nullptr;
    COLORREF designBackground_ = 0;
};

TEST_F(HighContrast, TheInformationLabelTakesTheWindowColoursInsteadOfItsOwn) {
    EXPECT_EQ(Background(PixelsOf(Rendering(label_, 0))), designBackground_);
    contrastChosen = true;
    const std::vector<COLORREF> pixels = PixelsOf(Rendering(label_, 0));
    EXPECT_EQ(Background(pixels), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), designBackground_), 0);
}

// Nothing else has colours of its own to give up: every other control looks
// the same either way.
TEST_F(HighContrast, NoOtherControlChanges) {
    for (std::size_t i = 0; i < plan_.controls.size(); ++i) {
        const HWND control = window_->Control(static_cast<int>(i));
        if (control == label_)
            continue;
        contrastChosen = false;
        const std::vector<COLORREF> usual = PixelsOf(Rendering(control, 0));
        contrastChosen = true;
        EXPECT_EQ(PixelsOf(Rendering(control, 0)), usual) << plan_.controls[i].Name();
    }
}

// A theme chosen while the program runs shows at once, before any other
// message: Windows tells the top-level windows one way or the other.
TEST_F(HighContrast, AThemeChangeRepaintsAtOnce) {
    struct Case {
        UINT message;
        WPARAM wParam;
    };
    for (const Case notice :
         {Case{WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST}, Case{WM_SYSCOLORCHANGE, 0}}) {
        contrastChosen = false;
        SendMessageW(window_->Handle(), notice.message, notice.wParam, 0);
        ASSERT_EQ(Background(ShownPixels(label_)), designBackground_) << notice.message;
        contrastChosen = true;
        SendMessageW(window_->Handle(), notice.message, notice.wParam, 0);
        EXPECT_EQ(Background(ShownPixels(label_)), GetSysColor(COLOR_WINDOW)) << notice.message;
    }
}

} // namespace
} // namespace quimbel::testing
