#pragma once

// The seam between the forms layer and a toolkit. The layer decides what
// happens; a back end only turns a window plan into a native window, passes
// clicks and close requests on, and runs the event loop. Only neutral types
// cross it: text is UTF-8 with "\n" line breaks, a control is its index in
// the plan.

#include "WindowPlan.h"

#include <memory>
#include <string>
#include <string_view>

namespace quimbel::ui {

// What a native window reports to the layer. Called on the user-interface
// thread, from the event loop.
class WindowEvents {
public:
    // A button was pressed (mouse, Space, or Enter while it has the focus).
    virtual void Clicked(int control) = 0;
    // The user asked the window system to close the window. The window stays
    // until the layer destroys it.
    virtual void CloseRequested() = 0;

protected:
    ~WindowEvents() = default;
};

class NativeWindow {
public:
    virtual ~NativeWindow() = default;
    // Visible, in front and active.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool IsVisible() const = 0;
    // A field's whole text, or the caption of any other control.
    virtual std::string Text(int control) const = 0;
    // Replaces a field's whole text, or another control's caption.
    virtual void SetText(int control, std::string_view text) = 0;
    // A sentence for a screen reader to speak at once, where the platform
    // lets a program say one; nothing shows on the screen. Nothing where it
    // does not.
    virtual void Announce(std::string_view) {}
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Builds the window hidden, at its first position, with the focus on the
    // plan's first control. The plan and the events must outlive the window.
    virtual std::unique_ptr<NativeWindow> MakeWindow(const WindowPlan& plan,
                                                     WindowEvents& events) = 0;
    // Destroys a window once the event being handled is done with it: it may
    // be the sender of the click that is running.
    virtual void DestroyLater(std::unique_ptr<NativeWindow> window) = 0;
    // Destroys at once every window DestroyLater still holds.
    virtual void DestroyPending() = 0;
    // Runs the event loop until Quit; returns the status Quit gave.
    virtual int Run() = 0;
    // Ends the event loop (at once when it is not running yet).
    virtual void Quit(int status) = 0;
};

} // namespace quimbel::ui
