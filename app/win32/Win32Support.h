#pragma once

// What every file of the Win32 back end stands on: the Windows headers, owning
// handles for what the back end creates, and the functions of Windows
// versions after 7, looked up when the program runs so that it still starts
// there.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace quimbel::ui::win32 {

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

struct GdiObjectDeleter {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

struct IconDestroyer {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// --- One barrier for every window and subclass procedure ------------------

// Says on standard error that handling a message failed.
void ReportMessageFailure(const char* what) noexcept;

// Throws std::system_error with the calling thread's last error.
[[noreturn]] void ThrowLastError(const char* what);

// What `handle` answers; nothing may unwind through Windows' own frames, so
// a failure is reported and the message answered with `failed`.
template <class Handle> LRESULT AnswerGuarded(Handle&& handle, LRESULT failed = 0) noexcept {
    try {
        return std::forward<Handle>(handle)();
    } catch (const std::exception& error) {
        ReportMessageFailure(error.what());
    } catch (...) {
        ReportMessageFailure("a window message failed");
    }
    return failed;
}

// A stock control's own handling of its messages, ending in DefSubclassProc.
using SubclassHandler = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The subclass procedure around `Handler`: guarded, and removed when the
// window goes.
template <SubclassHandler Handler>
LRESULT CALLBACK GuardedSubclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR) noexcept {
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, GuardedSubclassProcedure<Handler>, id);
    return AnswerGuarded([&] { return Handler(window, message, wParam, lParam); });
}

template <SubclassHandler Handler> bool Subclass(HWND window) {
    return SetWindowSubclass(window, GuardedSubclassProcedure<Handler>, 0, 0) != FALSE;
}

// A window class, registered for as long as this lives.
class WindowClass {
public:
    // Throws std::system_error when Windows refuses it.
    explicit WindowClass(const WNDCLASSEXW& description);
    ~WindowClass();
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

    ATOM Atom() const { return atom_; }
    // What CreateWindowExW takes as the class name.
    LPCWSTR Name() const { return MAKEINTATOM(atom_); }

private:
    HINSTANCE instance_;
    ATOM atom_;
};

// The screen-resolution functions of Windows 8.1 and 10, each falling back to
// what Windows 7 has: one resolution for the whole system, from the screen's
// device context.
// A function of user32 by name, or null on a Windows without it.
using AnyFunction = void (*)();
using FunctionLookUp = AnyFunction (*)(const char* name);
AnyFunction User32Function(const char* name);

class DpiFunctions {
public:
    // `lookUp` stands in for Windows' own in tests of an older Windows.
    explicit DpiFunctions(FunctionLookUp lookUp = User32Function);

    // The resolution windows open at before they know their monitor.
    UINT SystemDpi() const;
    UINT WindowDpi(HWND window) const;
    int SystemMetric(int index, UINT dpi) const;
    // The window rectangle around a client rectangle, frame drawn at `dpi`.
    RECT WindowRectForClient(RECT client, DWORD style, DWORD exStyle, UINT dpi) const;

private:
    friend class PerMonitorAwareness;

    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetDpiForSystemFn = UINT(WINAPI*)();
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    using SetThreadDpiAwarenessContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);

    UINT ScreenDpi() const;

    GetDpiForWindowFn getDpiForWindow_ = nullptr;
    GetDpiForSystemFn getDpiForSystem_ = nullptr;
    GetSystemMetricsForDpiFn getSystemMetricsForDpi_ = nullptr;
    AdjustWindowRectExForDpiFn adjustWindowRectExForDpi_ = nullptr;
    SetThreadDpiAwarenessContextFn setThreadDpiAwarenessContext_ = nullptr;
};

// Where the clipboard's contents stay once this process has set or read them.
enum class ClipboardCopies {
    // Windows holds them itself.
    KeptBySystem,
    // Wine also keeps a copy of each in the process, until it next opens the
    // clipboard.
    KeptInProcess,
};
// Which holds where the program runs, found once: Wine's ntdll says it is Wine.
ClipboardCopies ClipboardCopiesHere();

// COM on the calling thread, apartment-threaded, for as long as this lives:
// screen readers reach the windows' accessible objects through it.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    // False where the thread had COM in another model, which stays as it is.
    bool started_;
};

class AutomationHost;

// What answering a screen reader takes: COM on the thread and Active
// Accessibility's DLL, and UI Automation's for its clients. Set up on a
// reader's first request, not at start: a run without a reader needs neither,
// and both cost start-up time and memory.
class AccessibilityServices {
public:
    using CreateStandardObject = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    using ResultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

    AccessibilityServices();
    ~AccessibilityServices();
    AccessibilityServices(const AccessibilityServices&) = delete;
    AccessibilityServices& operator=(const AccessibilityServices&) = delete;

    // Sets the services up, once; false where they cannot be had (and a
    // reader then gets the stock answer).
    bool Ready();
    // Whether a reader has asked yet: the services are set up.
    bool Started() const { return com_.has_value(); }
    CreateStandardObject CreateStandard() const { return createStandard_; }
    ResultFromObject Result() const { return result_; }
    // UI Automation, set up when a client first asks for a provider; null
    // where Windows has none.
    AutomationHost* Automation();
    // UI Automation if a client has asked for it yet, else null.
    AutomationHost* AutomationIfLoaded() const { return automation_.get(); }
    // Stands in for UI Automation's DLL, in tests.
    void UseAutomation(std::unique_ptr<AutomationHost> automation);

private:
    std::optional<ComApartment> com_;
    HMODULE library_ = nullptr;
    CreateStandardObject createStandard_ = nullptr;
    ResultFromObject result_ = nullptr;
    bool automationTried_ = false;
    std::unique_ptr<AutomationHost> automation_;
};

// Whether the user has chosen a high-contrast theme, as Windows says.
using ContrastLookUp = bool (*)();
bool HighContrastChosen();

// The calling thread's new windows are per-monitor aware for as long as this
// lives, whatever the program's manifest says (a test program has none).
class PerMonitorAwareness {
public:
    explicit PerMonitorAwareness(const DpiFunctions& functions);
    ~PerMonitorAwareness();
    PerMonitorAwareness(const PerMonitorAwareness&) = delete;
    PerMonitorAwareness& operator=(const PerMonitorAwareness&) = delete;

private:
    const DpiFunctions& functions_;
    // Null where Windows has no such setting (before Windows 10).
    DPI_AWARENESS_CONTEXT previous_ = nullptr;
};

} // namespace quimbel::ui::win32
