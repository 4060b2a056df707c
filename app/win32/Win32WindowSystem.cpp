#include "Win32WindowSystem.h"

#include "Win32Clipboard.h"
#include "Win32Private.h"
#include "Win32Window.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>

namespace quimbel::ui {

namespace {

constexpr UINT DestroyPendingMessage = WM_APP + 1;

// Class names of this window system alone: another one in the same process
// (tests make many) registers its own.
win32::WindowClass RegisterWindowClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* role,
                                       const void* owner, HBRUSH background) {
    const std::wstring name = std::wstring(L"Quimbel.") + role + L"." +
                              std::to_wstring(reinterpret_cast<std::uintptr_t>(owner));
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = procedure;
    description.hInstance = instance;
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.hbrBackground = background;
    description.lpszClassName = name.c_str();
    return win32::WindowClass(description);
}

void ReportFailure(const char* what) { std::fprintf(stderr, "quimbel: %s\n", what); }

// The object a window of ours belongs to: given to CreateWindowExW, kept in
// the window from its first message on.
template <class Owner> Owner* OwnerOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(
                              reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams));
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

} // namespace

Win32WindowSystem::Win32WindowSystem(HINSTANCE instance, win32::FunctionLookUp lookUp,
                                     win32::ClipboardCopies clipboardCopies,
                                     win32::ContrastLookUp highContrast)
    : instance_(instance), highContrast_(highContrast), dpi_(lookUp), awareness_(dpi_),
      formClass_(RegisterWindowClass(instance, FormProcedure, L"Form", this,
                                     GetSysColorBrush(COLOR_BTNFACE))),
      messageClass_(RegisterWindowClass(instance, MessageProcedure, L"Messages", this, nullptr)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    messageWindow_.reset(CreateWindowExW(0, messageClass_.Name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, instance_, this));
    if (!messageWindow_)
        win32::ThrowLastError("CreateWindowExW");
    // Under Wine the program would keep whatever it last copied or pasted,
    // maybe megabytes, until it next opens the clipboard: once another
    // program has copied, it lets go. Windows holds those copies itself, and
    // a program opening the clipboard at every change gets in others' way.
    if (clipboardCopies == win32::ClipboardCopies::KeptInProcess)
        AddClipboardFormatListener(messageWindow_.get());
}

Win32WindowSystem::~Win32WindowSystem() { DestroyPending(); }

std::unique_ptr<NativeWindow> Win32WindowSystem::MakeWindow(const WindowPlan& plan,
                                                            WindowEvents& events) {
    return std::make_unique<Win32Window>(*this, plan, events);
}

void Win32WindowSystem::DestroyLater(std::unique_ptr<NativeWindow> window) {
    if (!window)
        return;
    if (auto* native = dynamic_cast<Win32Window*>(window.get())) {
        native->Detach();
        native->Hide();
    }
    pending_.push_back(std::move(window));
    // Destroyed once the message being handled, maybe the window's own
    // click, is over.
    if (!destroyPosted_)
        destroyPosted_ = PostMessageW(messageWindow_.get(), DestroyPendingMessage, 0, 0) != FALSE;
}

void Win32WindowSystem::DestroyPending() {
    // Destroying a window activates another, whose handling may let go of
    // yet another.
    while (!pending_.empty()) {
        std::vector<std::unique_ptr<NativeWindow>> batch;
        batch.swap(pending_);
    }
}

int Win32WindowSystem::Run() {
    if (quitRequested_)
        return quitStatus_;
    running_ = true;
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            break;
        if (got == -1) {
            ReportFailure("the event loop failed");
            quitStatus_ = 1;
            break;
        }
        DeliverMessage(message);
    }
    running_ = false;
    return quitStatus_;
}

void Win32WindowSystem::Quit(int status) {
    quitRequested_ = true;
    quitStatus_ = status;
    // Posted only into a running loop: otherwise the thread would keep a
    // quit message for whatever loop comes next.
    if (running_)
        PostQuitMessage(status);
}

void Win32WindowSystem::DeliverMessage(MSG& message) {
    if (Win32Window* window = FormOf(message.hwnd)) {
        if (window->HandleTabKey(message))
            return;
        // Enter, Space and Esc as in a dialog; IsDialogMessageW dispatches
        // what it does not take itself.
        if (IsDialogMessageW(window->Handle(), &message))
            return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

Win32Window* Win32WindowSystem::FormOf(HWND window) const {
    const HWND root = window ? GetAncestor(window, GA_ROOT) : nullptr;
    if (!root || GetClassLongPtrW(root, GCW_ATOM) != formClass_.Atom())
        return nullptr;
    return reinterpret_cast<Win32Window*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

const win32::FontFamilies& Win32WindowSystem::Families() {
    if (!families_)
        families_ = std::make_unique<win32::FontFamilies>();
    return *families_;
}

LRESULT CALLBACK Win32WindowSystem::FormProcedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    auto* form = OwnerOf<Win32Window>(window, message, lParam);
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    return win32::AnswerGuarded(
        [&] { return form->HandleMessage(window, message, wParam, lParam); });
}

LRESULT CALLBACK Win32WindowSystem::MessageProcedure(HWND window, UINT message, WPARAM wParam,
                                                     LPARAM lParam) {
    auto* system = OwnerOf<Win32WindowSystem>(window, message, lParam);
    if (message == WM_CLIPBOARDUPDATE) {
        // Another program's copy: opening the clipboard lets Wine free this
        // process's copies of the earlier contents.
        DWORD owner = 0;
        GetWindowThreadProcessId(GetClipboardOwner(), &owner);
        if (owner != GetCurrentProcessId()) {
            const win32::OpenedClipboard opened(window);
        }
        return 0;
    }
    if (message != DestroyPendingMessage)
        return DefWindowProcW(window, message, wParam, lParam);
    if (system) {
        system->destroyPosted_ = false;
        win32::AnswerGuarded([&] {
            system->DestroyPending();
            return LRESULT{0};
        });
    }
    return 0;
}

} // namespace quimbel::ui
