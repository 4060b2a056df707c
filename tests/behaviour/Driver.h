#pragma once

// Drives the program's windows the way a user does, on one window back end.
// The behaviour tests are written once against this and built once per back
// end: an in-process fake, Qt Widgets, and native Win32.

#include "Forms.h"

#include <memory>
#include <string>
#include <string_view>

namespace quimbel::testing {

enum class Key { Enter, Tab, Escape, Space };

class Driver {
public:
    virtual ~Driver() = default;

    // The window system a runtime under test is given.
    virtual ui::WindowSystem& System() = 0;

    // Presses a button with the mouse.
    virtual void Click(const ui::Form& form, std::string_view button) = 0;
    // Clicks into a field and types the text: ASCII as key presses, anything
    // else as a Chinese input method delivers it.
    virtual void Type(const ui::Form& form, std::string_view field, std::string_view utf8) = 0;
    // Gives the control the focus, then presses the key there.
    virtual void PressKey(const ui::Form& form, std::string_view control, Key key) = 0;
    // Presses the key in the form's window, wherever its focus is.
    virtual void PressKeyInWindow(const ui::Form& form, Key key) = 0;
    // Asks for the window to close, as its frame's close button does.
    virtual void Close(const ui::Form& form) = 0;

    // The design name of the control that has the focus in the form's
    // window; empty when none has.
    virtual std::string Focused(const ui::Form& form) = 0;
    // The title bar's text.
    virtual std::string Title(const ui::Form& form) = 0;
    // How many of the program's top-level windows are visible.
    virtual int VisibleWindows() = 0;
    // Lets queued work run: deferred destruction, posted messages.
    virtual void ProcessEvents() = 0;
};

// The driver of the back end this test program is built for.
std::unique_ptr<Driver> MakeDriver();

} // namespace quimbel::testing
