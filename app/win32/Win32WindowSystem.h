#pragma once

// The window back end on the Windows API itself: a window plan becomes a
// top-level window with one child window per control, stock controls only
// (Static, Edit, Button), scaled per monitor.

#include "Win32Support.h"
#include "WindowSystem.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quimbel::ui {

class Win32WindowSystem;

namespace win32 {
class FontFamilies;
struct TextRange;
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

    HWND Handle() const {
        Built();
        return window_.get();
    }
    // Whether the windows have been made.
    bool IsBuilt() const { return window_ != nullptr; }
    // The window of a control, by its index in the plan.
    HWND Control(int control) const;
    // The plan index of a control window, or NoControl.
    int IndexOf(HWND control) const;
    // The control with the focus while the window is active, and the one that
    // gets it back when it is activated again; NoControl when none.
    int FocusControl() const;
    const WindowPlan& Plan() const { return plan_; }
    UINT Dpi() const { return dpi_; }
    // The font a control shows its text in.
    HFONT Font(int control) const;
    // The tooltip window of the controls that have a tooltip; null when none has.
    HWND ToolTips() const {
        Built();
        return toolTips_.get();
    }

    // Tab and Shift+Tab move the focus along the plan's tab order, which need
    // not be the stacking order Windows would follow. True when `message` was
    // such a key press and has been handled.
    bool HandleTabKey(const MSG& message);
    // The layer has let the window go: nothing reaches it any more.
    void Detach();

private:
    friend class Win32WindowSystem;

    // Makes the windows, once.
    void Build();
    void Built() const;
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
    void SetWindowRect(const RECT& rect);
    // Corrects the window size where the frame came out other than Windows
    // said it would.
    void MakeClientExact();
    void MoveFocus(bool backwards);
    void RestoreFocus();
    LRESULT ControlColours(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The theme's colours changed: every control and the window drawn anew.
    void ColoursChanged(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool IsKind(int control, ControlKind kind) const;
    bool IsButton(int control) const { return IsKind(control, ControlKind::CommandButton); }
    bool IsField(int control) const { return IsKind(control, ControlKind::TextBox); }
    // The field made anew, wrapping or not, with its own text and selection
    // or with `text` (a field's text without soft breaks) and `selection` in it;
    // the first keeps what the user can undo, the second with `keepHistory`.
    void ReplaceField(int control, bool wrap);
    void ReplaceField(int control, bool wrap, std::wstring_view text, win32::TextRange selection,
                      bool keepHistory);

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
    win32::UniqueWindow toolTips_;
    std::vector<win32::UniqueWindow> controls_;
    // The focus to give back when the window is activated again.
    HWND focus_ = nullptr;
    // Texts set before the windows were made.
    std::vector<std::optional<std::string>> pendingTexts_;
};

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
    // The window, never shown, that receives the system's notices.
    HWND MessageWindow() const { return messageWindow_.get(); }

private:
    static LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MessageProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);

    // First in, last out: the windows' accessible objects live in it.
    win32::ComApartment com_;
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
