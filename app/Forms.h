#pragma once

// The forms layer: each window class has one default instance for the run;
// a window is built from its design when it loads and discarded when it
// unloads, while the instance stays. Handlers run through one dispatcher, and
// ending the program closes every window at once.

#include "WindowDesign.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <utility>
#include <vector>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace quimbel::forms {

class FormsRuntime;
class FormWindow;

// A handler addressed a control of a window that is not loaded.
class ControlUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Form {
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

    bool IsLoaded() const { return !window_.isNull(); }
    bool IsVisible() const;
    const WindowDesign& Design() const { return design_; }
    // The window while loaded, else nullptr.
    QWidget* Window() const;
    // A control of the loaded window by its design name, else nullptr.
    QWidget* FindControl(std::string_view name) const;

protected:
    FormsRuntime& Runtime() const { return runtime_; }

    virtual void OnLoad() {}
    virtual void OnUnload() {}
    // The user asked the window system to close the window; it unloads next.
    virtual void OnCloseRequested() {}
    // Binds the loaded window's buttons to their handlers; runs on every load.
    virtual void ConnectHandlers() {}

    template <class F> void OnClick(std::string_view button, void (F::*handler)()) {
        F* self = static_cast<F*>(this);
        ConnectClick(button, [self, handler] { (self->*handler)(); });
    }

private:
    friend class FormsRuntime;
    friend class FormWindow;

    void Load();
    // The window and its controls go without any handler running.
    void Discard();
    void ConnectClick(std::string_view button, std::function<void()> handler);

    FormsRuntime& runtime_;
    const WindowDesign& design_;
    QPointer<FormWindow> window_;
    std::vector<std::pair<std::string_view, QWidget*>> controls_;
    bool loading_ = false;
    bool hiddenWhileLoading_ = false;
    bool unloading_ = false;
};

// A named control of a form, looked up each time it is used, so it stays
// valid across unloading and loading again.
template <class Widget> class ControlRef {
public:
    ControlRef(const Form& form, std::string_view name) : form_(form), name_(name) {}

    std::string_view Name() const { return name_; }
    Widget& operator*() const { return *Get(); }
    Widget* operator->() const { return Get(); }

private:
    Widget* Get() const {
        if (auto* widget = qobject_cast<Widget*>(form_.FindControl(name_)))
            return widget;
        throw ControlUnavailable("control " + std::string(name_) + " is not loaded");
    }

    const Form& form_;
    std::string_view name_;
};

class TextBox : public ControlRef<QPlainTextEdit> {
public:
    using ControlRef::ControlRef;
    // The whole current text; line breaks as "\n".
    QString Text() const;
    // Replaces the whole text.
    void SetText(const QString& text) const;
};

using CommandButton = ControlRef<QPushButton>;
using Label = ControlRef<QLabel>;
using Frame = ControlRef<QGroupBox>;

class FormsRuntime {
public:
    FormsRuntime();
    ~FormsRuntime();
    FormsRuntime(const FormsRuntime&) = delete;
    FormsRuntime& operator=(const FormsRuntime&) = delete;

    // The one instance of a window class, created on first use. Creating it
    // neither builds nor shows the window.
    template <class F> F& DefaultInstance() {
        auto& slot = instances_[std::type_index(typeid(F))];
        if (!slot)
            slot = std::make_unique<F>(*this);
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

private:
    std::unordered_map<std::type_index, std::unique_ptr<Form>> instances_;
    bool ended_ = false;
};

} // namespace quimbel::forms
