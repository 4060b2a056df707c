#pragma once

// The Qt widgets behind a form, for tests and tools that drive or inspect the
// real widgets. The layer's own headers never name a toolkit type.

#include "Forms.h"
#include "QtWindowSystem.h"

#include <string_view>

namespace quimbel::ui {

// The form's top-level widget while it is loaded, else nullptr.
inline QtWindow* QtWindowOf(const Form& form) { return dynamic_cast<QtWindow*>(form.Native()); }

// A control's widget while its form is loaded, else nullptr.
inline QWidget* QtControlOf(const Form& form, std::string_view name) {
    QtWindow* window = QtWindowOf(form);
    const int index = form.Plan().IndexOf(name);
    return window && index != NoControl ? window->Control(index) : nullptr;
}

template <class Widget> Widget* QtControlOf(const Form& form, std::string_view name) {
    return qobject_cast<Widget*>(QtControlOf(form, name));
}

} // namespace quimbel::ui
