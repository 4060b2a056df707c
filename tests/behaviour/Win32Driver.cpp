// The behaviour tests on the Windows API: real windows (under Wine when
// cross-built), driven with the messages a mouse and a keyboard produce.
// Keys go through the same handling as in the program's event loop, and the
// queue is run empty after each act, as the loop would.

#include "Driver.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32WindowSystem.h"

#include <stdexcept>

namespace quimbel::testing {
namespace {

UINT VirtualKey(Key key) {
    switch (key) {
    case Key::Enter:
        return VK_RETURN;
    case Key::Tab:
        return VK_TAB;
    case Key::Escape:
        return VK_ESCAPE;
    case Key::Space:
        return VK_SPACE;
    }
    return 0;
}

class Win32Driver final : public Driver {
public:
    ui::WindowSystem& System() override { return system_; }

    void Click(const ui::Form& form, std::string_view button) override {
        SendMessageW(ControlWindow(form, button), BM_CLICK, 0, 0);
        ProcessEvents();
    }

    // A click into the field puts the caret after its text; then each
    // character arrives as the keyboard or an input method delivers it.
    void Type(const ui::Form& form, std::string_view field, std::string_view utf8) override {
        const HWND edit = ControlWindow(form, field);
        SetFocus(edit);
        const LPARAM end = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
        for (const wchar_t unit : ui::win32::WideFromUtf8(utf8)) {
            MSG message{edit, WM_CHAR, unit == L'\n' ? WPARAM{L'\r'} : WPARAM{unit}, 1, 0, {}};
            system_.DeliverMessage(message);
        }
        ProcessEvents();
    }

    void PressKey(const ui::Form& form, std::string_view control, Key key) override {
        SetFocus(ControlWindow(form, control));
        Press(key);
    }

    void PressKeyInWindow(const ui::Form& form, Key key) override {
        const HWND window = Window(form).Handle();
        if (GetActiveWindow() != window)
            SetActiveWindow(window);
        Press(key);
    }

    void Close(const ui::Form& form) override {
        // What the close button of the frame does.
        SendMessageW(Window(form).Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        ProcessEvents();
    }

    std::string Focused(const ui::Form& form) override {
        const ui::Win32Window& window = Window(form);
        const int control = window.FocusControl();
        return control == ui::NoControl ? std::string()
                                        : std::string(form.Plan().controls[control].Name());
    }

    std::string Title(const ui::Form& form) override {
        return ui::win32::Utf8FromWide(ui::win32::TextOfWindow(Window(form).Handle()));
    }

    int VisibleWindows() override {
        struct Count {
            const ui::Win32WindowSystem* system;
            int visible;
        } count{&system_, 0};
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM data) -> BOOL {
                auto* count = reinterpret_cast<Count*>(data);
                const ui::Win32Window* form = count->system->FormOf(window);
                count->visible += form && form->Handle() == window && IsWindowVisible(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&count));
        return count.visible;
    }

    void ProcessEvents() override {
        MSG message{};
        // Bounded: a fault that keeps posting must fail a test, not hang it.
        for (int i = 0; i < 100000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i)
            system_.DeliverMessage(message);
    }

private:
    // A key pressed and released where the focus is, as the keyboard sends it.
    void Press(Key key) {
        const UINT virtualKey = VirtualKey(key);
        const auto scanCode = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
        const LPARAM down = 1 | scanCode << 16;
        const LPARAM up = down | LPARAM{1} << 30 | LPARAM{1} << 31;
        const HWND focus = GetFocus();
        if (!focus)
            throw std::logic_error("no window has the focus for the key");
        MSG press{focus, WM_KEYDOWN, virtualKey, down, 0, {}};
        system_.DeliverMessage(press);
        ProcessEvents();
        // The release goes where the focus is now; the key may have closed
        // the window it was pressed in.
        if (const HWND now = GetFocus()) {
            MSG release{now, WM_KEYUP, virtualKey, up, 0, {}};
            system_.DeliverMessage(release);
            ProcessEvents();
        }
    }

    // Made, if it was never shown, to be looked at.
    static const ui::Win32Window& Window(const ui::Form& form) {
        ui::Win32Window* window = ui::Win32WindowOf(form);
        if (!window)
            throw std::logic_error("the window is not loaded");
        window->Build();
        return *window;
    }

    static HWND ControlWindow(const ui::Form& form, std::string_view name) {
        const HWND control = ui::Win32ControlOf(form, name);
        if (!control)
            throw std::logic_error("no loaded control " + std::string(name));
        return control;
    }

    ui::Win32WindowSystem system_;
};

} // namespace

std::unique_ptr<Driver> MakeDriver() { return std::make_unique<Win32Driver>(); }

} // namespace quimbel::testing
