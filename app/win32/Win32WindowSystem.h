#pragma once

// The window back end on the Windows API itself: a window plan becomes a
// top-level window with one child window per control (stock Static and
// Button windows, and a field class of the program's own), scaled per monitor. The system: its
// window classes, the window that receives the system's notices, destruction once a message is
// over, and the event loop.

#include "Win32Support.h"
#include "WindowSystem.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quimbel::ui {

class Win32Window;

namespace win32 {
class FontFamilies;
} // namespace win32

class Win32WindowSystem final : public WindowSystem {
public:
    // `lookUp`, `clipboardCopies` and `highContrast` stand in for what Windows or Wine would
    // say, in tests.
    explicit Win32WindowSystem(
        HINSTANCE instance = GetModuleHandleW(nullptr),
        win32::FunctionLookUp lookUp = win32::User32Function,
        win32::ClipboardCopies clipboardCopies = win32::ClipboardCopiesHere(),
        win32::ContrastLookUp highContrast = win32::HighContrastChosen);
    ~Win32WindowSystem() override;
    Win32WindowSystem(const Win32WindowSystem&) = delete;
    Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

    std::unique_ptr<NativeWindow> MakeWindow(const WindowPlan& plan, WindowEvents& events) override;
    void DestroyLater(std::unique_ptr<NativeWindow> window) override;
    void DestroyPending() override;
    int Run() override;
    void Quit(int status) override;

    // What the event loop does with each message: Tab and the dialog keys
    // for the program's windows, then translation and dispatch.
    void DeliverMessage(MSG& message);
    // The program's window that `window` is or lies in, else null.
    Win32Window* FormOf(HWND window) const;

    HINSTANCE Instance() const { return instance_; }
    const win32::DpiFunctions& DpiSupport() const { return dpi_; }
    // Whether windows draw in the theme's colours only.
    bool HighContrast() const { return highContrast_(); }
    // The installed font families, read on first use.
    const win32::FontFamilies& Families();
    LPCWSTR FormClassName() const { return formClass_.Name(); }
    // What answering a screen reader takes, set up when one first asks.
    win32::AccessibilityServices& Accessibility() { return accessibility_; }
    // The window, never shown, that receives the system's notices.
    HWND MessageWindow() const { return messageWindow_.get(); }

private:
    static LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MessageProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);

    // First in, last out: the windows' accessible objects live in it.
    win32::AccessibilityServices accessibility_;
    HINSTANCE instance_;
    win32::ContrastLookUp highContrast_;
    win32::DpiFunctions dpi_;
    win32::PerMonitorAwareness awareness_;
    std::unique_ptr<win32::FontFamilies> families_;
    win32::WindowClass formClass_;
    win32::WindowClass messageClass_;
    // Receives the request to destroy what DestroyLater holds, once the
    // event being handled is over.
    win32::UniqueWindow messageWindow_;
    std::vector<std::unique_ptr<NativeWindow>> pending_;
    bool destroyPosted_ = false;
    bool running_ = false;
    bool quitRequested_ = false;
    int quitStatus_ = 0;
};

} // namespace quimbel::ui
