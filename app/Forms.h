#pragma once

// The forms layer: each window class has one default instance for the run;
// a window is built from its design when it loads and discarded when it
// unloads, while the instance stays. Handlers run through one dispatcher, and
// ending the program closes every window at once. No toolkit is seen here:
// the windows themselves come from the WindowSystem the runtime is given.

#include "WindowDesign.h"
#include "WindowPlan.h"
#include "WindowSystem.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace quimbel::ui {

class FormsRuntime;

// A handler addressed a control of a window that is not loaded.
class ControlUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Form : private WindowEvents {
public:
    Form(FormsRuntime& runtime, const WindowDesign& design);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Loads the window from its design if it is not loaded (its Load handler
    // runs), then shows and activates it, unless that handler hid it. Returns
    // at once: no window is modal.
    void Show();
    // The window disappears but stays loaded, fields and all.
    void Hide();

    bool IsLoaded() const { return native_ != nullptr; }
    bool IsVisible() const;
    const WindowDesign& Design() const { return *plan_.design; }
    const WindowPlan& Plan() const { return plan_; }
    // The native window while loaded, else nullptr; for back-end tests.
    NativeWindow* Native() const { return native_.get(); }

protected:
    FormsRuntime& Runtime() const { return runtime_; }
    // Says `text` to a screen reader, while the window is loaded.
    void Announce(std::string_view text) const;

    virtual void OnLoad() {}
    virtual void OnUnload() {}
    // The user asked the window system to close the window; it unloads next.
    virtual void OnCloseRequested() {}
    // Binds buttons to their handlers; runs on every load, before the window
    // is built, so a wrong name fails before anything is on the screen.
    virtual void ConnectHandlers() {}

    template <class F> void OnClick(std::string_view button, void (F::*handler)()) {
        F* self = static_cast<F*>(this);
        ConnectClick(button, [self, handler] { (self->*handler)(); });
    }

private:
    friend class FormsRuntime;
    friend class Control;

    void Load();
    // The window and its controls go without any handler running.
    void Discard();
    void ConnectClick(std::string_view button, std::function<void()> handler);
    NativeWindow& LoadedWindow(std::string_view control) const;

    void Clicked(int control) override;
    void CloseRequested() override;

    FormsRuntime& runtime_;
    const WindowPlan plan_;
    std::unique_ptr<NativeWindow> native_;
    std::vector<std::function<void()>> clickHandlers_;
    bool loading_ = false;
    bool hiddenWhileLoading_ = false;
    bool unloading_ = false;
};

// A named control of a form. Its name is checked against the design when the
// form is made; its window is looked up at each use, so it stays valid across
// unloading and loading again.
class Control {
public:
    Control(const Form& form, std::string_view name, ControlKind kind);

    std::string_view Name() const { return name_; }
    // A field's whole text ("\n" between lines), or another control's caption.
    std::string Text() const;
    void SetText(std::string_view text) const;

private:
    const Form& form_;
    std::string_view name_;
    int index_;
};

template <ControlKind K> class ControlOf : public Control {
public:
    ControlOf(const Form& form, std::string_view name) : Control(form, name, K) {}
};

using TextBox = ControlOf<ControlKind::TextBox>;
using CommandButton = ControlOf<ControlKind::CommandButton>;
using Label = ControlOf<ControlKind::Label>;
using Frame = ControlOf<ControlKind::Frame>;

class FormsRuntime {
public:
    explicit FormsRuntime(WindowSystem& system);
    ~FormsRuntime();
    FormsRuntime(const FormsRuntime&) = delete;
    FormsRuntime& operator=(const FormsRuntime&) = delete;

    // The one instance of a window class, created on first use. Creating it
    // neither builds nor shows the window.
    template <class F> F& DefaultInstance() {
        auto& slot = instances_[std::type_index(typeid(F))];
        if (!slot) {
            try {
                slot = std::make_unique<F>(*this);
            } catch (...) {
                instances_.erase(std::type_index(typeid(F)));
                throw;
            }
        }
        return static_cast<F&>(*slot);
    }
    template <class F> bool HasInstance() const {
        return instances_.count(std::type_index(typeid(F))) != 0;
    }

    // Loads and shows the start-up window.
    template <class F> void Start() {
        Dispatch([this] { DefaultInstance<F>().Show(); });
    }

    // Raises the window's Unload event, then discards the window; the
    // instance stays and the next Show builds it afresh.
    void Unload(Form& form);
    // Every window closes at once and no handler runs after this; the event
    // loop ends with exit status 0.
    void EndProgram();
    bool HasEnded() const { return ended_; }
    bool HasVisibleWindow() const;

    // Runs a handler for an event, unless the program has ended. A failure
    // that reaches here ends that handler only: it is reported on standard
    // error and the program goes on.
    void Dispatch(const std::function<void()>& handler);

    WindowSystem& System() const { return system_; }

private:
    WindowSystem& system_;
    std::unordered_map<std::type_index, std::unique_ptr<Form>> instances_;
    bool ended_ = false;
};

} // namespace quimbel::ui
