#pragma once

// The Windows windows behind a form, for tests and tools that drive or
// inspect the real windows. The layer's own headers never name a Windows type.

#include "Forms.h"
#include "Win32Window.h"

#include <string_view>

namespace quimbel::ui {

// The form's top-level window while it is loaded, else nullptr.
inline Win32Window* Win32WindowOf(const Form& form) {
    return dynamic_cast<Win32Window*>(form.Native());
}

// The window's handle while the form is loaded, else null; made if it has
// not been shown yet.
inline HWND Win32HandleOf(const Form& form) {
    Win32Window* window = Win32WindowOf(form);
    if (!window)
        return nullptr;
    window->Build();
    return window->Handle();
}

// A control's window while its form is loaded, else null; made if it has
// not been shown yet.
inline HWND Win32ControlOf(const Form& form, std::string_view name) {
    Win32Window* window = Win32WindowOf(form);
    const int index = form.Plan().IndexOf(name);
    if (!window || index == NoControl)
        return nullptr;
    window->Build();
    return window->Control(index);
}

} // namespace quimbel::ui
