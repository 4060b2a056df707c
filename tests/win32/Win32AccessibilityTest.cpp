// What a screen reader learns of each window and control through Active
// Accessibility, asked in the program's own process and from another one as
// a reader does; the alerts and dialog events it hears; and the theme's
// colours under high contrast.

#include "AccessibilityTable.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"
#include "Win32WindowSystem.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quimbel::testing {
namespace {

// Defined here: MinGW-w64's import library can resolve its own to an import
// thunk, which no object answers to.
constexpr GUID AccessibleId{
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

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

// What a reader hears, as the probe writes it: role, name and description,
// tab-separated, a line break in a text written "\n".
std::string Escaped(std::string_view text) {
    std::string escaped;
    for (const char c : text)
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    return escaped;
}

std::string Expected(AccessibleRole role, std::string_view name, std::string_view description) {
    return std::to_string(MsaaRole(role)) + "\t" + Escaped(name) + "\t" + Escaped(description);
}

std::string Utf8(BSTR text) {
    return text ? ui::win32::Utf8FromWide(std::wstring_view(text, SysStringLen(text))) : "";
}

// The client area's object, asked as a reader in this process asks.
std::string Heard(HWND window) {
    IAccessible* object = nullptr;
    const HRESULT found = AccessibleObjectFromWindow(
        window, static_cast<DWORD>(OBJID_CLIENT), AccessibleId, reinterpret_cast<void**>(&object));
    if (FAILED(found) || !object)
        return "error " + std::to_string(found);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role{};
    std::string heard = SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4
                            ? std::to_string(role.lVal)
                            : "no role";
    VariantClear(&role);
    BSTR name = nullptr;
    const HRESULT named = object->get_accName(self, &name);
    heard += "\t" + (SUCCEEDED(named) ? Escaped(Utf8(name)) : "error " + std::to_string(named));
    SysFreeString(name);
    BSTR description = nullptr;
    const HRESULT described = object->get_accDescription(self, &description);
    heard += "\t" + (SUCCEEDED(described) ? Escaped(Utf8(description))
                                          : "error " + std::to_string(described));
    SysFreeString(description);
    object->Release();
    return heard;
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
            windows_.push_back(system_.CreateWindow(*plans_.back(), events_));
            windows_.back()->Show();
        }
        Pump(system_);
    }

    const ui::Win32Window& WindowOf(const ui::WindowDesign* design) const {
        for (std::size_t i = 0; i < AccessibleWindows.size(); ++i)
            if (AccessibleWindows[i].design == design)
                return dynamic_cast<const ui::Win32Window&>(*windows_[i]);
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

// Its text as the probe wrote it, by window handle.
std::map<std::uintptr_t, std::string> ReadProbeOutput(const std::wstring& path) {
    std::map<std::uintptr_t, std::string> lines;
    std::string text;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, got);
        std::fclose(file);
    }
    std::istringstream file(text);
    std::string line;
    while (std::getline(file, line)) {
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

} // namespace
} // namespace quimbel::testing
