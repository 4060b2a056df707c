#pragma once

// The top-level window of a loaded form, and its controls' windows: made,
// shown, their texts, the window's messages, the focus and Tab. Layout at a
// screen resolution is in Win32Layout.cpp.

#include "Win32Support.h"
#include "Win32ToolTips.h"
#include "WindowSystem.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quimbel::ui {

class Win32WindowSystem;

namespace win32 {
struct ControlClass;
// One frame for every window, as on Linux: fixed size, no maximise button.
inline constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr DWORD FormExStyle = 0;
} // namespace win32

// The top-level window of a loaded form. Its windows are made when it is
// first shown, or first asked for them: a form loaded hidden (the main
// window behind the welcome dialog) costs nothing at start-up. Texts set
// before then are kept until the windows are made.
class Win32Window final : public NativeWindow {
public:
    Win32Window(Win32WindowSystem& system, const WindowPlan& plan, WindowEvents& events);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    void Show() override;
    void Hide() override;
    bool IsVisible() const override;
    std::string Text(int control) const override;
    void SetText(int control, std::string_view text) override;
    // Through UI Automation's notification, from the control with the focus.
    void Announce(std::string_view text) override;

    // Makes the windows, once: Show does, and whoever must look at a window
    // never shown. Texts set before are kept until then.
    void Build();
    // Whether the windows have been made.
    bool IsBuilt() const { return window_ != nullptr; }
    // The window; null until it is made.
    HWND Handle() const { return window_.get(); }
    // The window of a control, by its index in the plan; null until made.
    HWND Control(int control) const;
    // The plan index of a control window, or NoControl.
    int IndexOf(HWND control) const;
    // The control with the focus while the window is active, and the one that
    // gets it back when it is activated again; NoControl when none.
    int FocusControl() const;
    const WindowPlan& Plan() const { return plan_; }
    UINT Dpi() const { return dpi_; }
    // The font a control shows its text in; null until made.
    HFONT Font(int control) const;
    // The tooltip window of the controls that have a tooltip; null when none
    // has, or until made.
    HWND ToolTips() const { return toolTips_.Handle(); }

    // Tab and Shift+Tab move the focus along the plan's tab order, which need
    // not be the stacking order Windows would follow. True when `message` was
    // such a key press and has been handled.
    bool HandleTabKey(const MSG& message);
    // The layer has let the window go: nothing reaches it any more.
    void Detach();

private:
    friend class Win32WindowSystem;

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Destroys the windows and lets go of the layer; nothing of their
    // destruction reaches this object.
    void Release();
    // Destroys the windows only: a failed making leaves the window as if
    // never made.
    void DestroyWindows();
    void CreateControls();
    void AddToolTips();
    void AddToolTip(int control);
    void Stack();
    // Sizes, positions, fonts and icons for a resolution.
    void LayOut(UINT dpi);
    void MakeFonts(win32::UniqueFont& windowFont, std::vector<win32::UniqueFont>& ownFonts);
    void SetIcons();
    SIZE ClientSizeAt(UINT dpi) const;
    // Places the client area at the design position, at the current
    // resolution, within the primary monitor's work area.
    void PlaceAtFirstPosition();
    // The window's rectangle there, at the current resolution.
    RECT FirstWindowRect() const;
    void SetWindowRect(const RECT& rect);
    // Corrects the window size where the frame came out other than Windows
    // said it would.
    void MakeClientExact();
    void MoveFocus(bool backwards);
    void RestoreFocus();
    LRESULT ControlColours(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The theme's colours changed: every control and the window drawn anew.
    void ColoursChanged(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool IsControl(int control) const;
    bool IsKind(int control, ControlKind kind) const;
    bool IsButton(int control) const { return IsKind(control, ControlKind::CommandButton); }
    const win32::ControlClass& KindOf(int control) const;

    Win32WindowSystem& system_;
    const WindowPlan& plan_;
    WindowEvents& events_;
    bool attached_ = true;
    bool building_ = false;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    // Drawing objects first: they must outlive the windows that use them.
    win32::UniqueFont windowFont_;
    std::vector<win32::UniqueFont> ownFonts_;
    std::vector<win32::UniqueBrush> backgrounds_;
    win32::UniqueIcon smallIcon_;
    win32::UniqueIcon bigIcon_;
    win32::UniqueWindow window_;
    win32::ToolTips toolTips_;
    std::vector<win32::UniqueWindow> controls_;
    // The focus to give back when the window is activated again.
    HWND focus_ = nullptr;
    // Texts set before the windows were made.
    std::vector<std::optional<std::string>> pendingTexts_;
};

} // namespace quimbel::ui
