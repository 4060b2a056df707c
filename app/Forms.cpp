#include "Forms.h"

#include <cstdio>
#include <exception>

namespace quimbel::ui {
namespace {

// Sets a flag for as long as it lives, also when a handler throws.
class FlagWhile {
public:
    explicit FlagWhile(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagWhile() { flag_ = false; }
    FlagWhile(const FlagWhile&) = delete;
    FlagWhile& operator=(const FlagWhile&) = delete;

private:
    bool& flag_;
};

} // namespace

Form::Form(FormsRuntime& runtime, const WindowDesign& design)
    : runtime_(runtime), plan_(PlanWindow(design)) {}

Form::~Form() { Discard(); }

bool Form::IsVisible() const { return IsLoaded() && native_->IsVisible(); }

void Form::Show() {
    if (runtime_.HasEnded())
        return;
    if (!IsLoaded()) {
        Load();
        // The Load handler may have hidden or unloaded it, or ended it all.
        if (!IsLoaded() || hiddenWhileLoading_)
            return;
    }
    native_->Show();
}

void Form::Announce(std::string_view text) const {
    if (native_)
        native_->Announce(text);
}

void Form::Hide() {
    if (runtime_.HasEnded())
        return;
    if (!IsLoaded()) {
        Load();
        if (!IsLoaded())
            return;
    }
    if (loading_)
        hiddenWhileLoading_ = true;
    native_->Hide();
}

void Form::Load() {
    clickHandlers_.assign(plan_.controls.size(), nullptr);
    ConnectHandlers();
    native_ = runtime_.System().MakeWindow(plan_, *this);
    hiddenWhileLoading_ = false;
    const FlagWhile loading(loading_);
    OnLoad();
}

void Form::Discard() {
    if (!IsLoaded())
        return;
    native_->Hide();
    clickHandlers_.clear();
    // The window may be the sender of the click being handled right now.
    runtime_.System().DestroyLater(std::move(native_));
}

void Form::ConnectClick(std::string_view button, std::function<void()> handler) {
    const int index = plan_.IndexOfKind(button, ControlKind::CommandButton);
    clickHandlers_[static_cast<std::size_t>(index)] = std::move(handler);
}

NativeWindow& Form::LoadedWindow(std::string_view control) const {
    if (!native_)
        throw ControlUnavailable("control " + std::string(control) + " is not loaded");
    return *native_;
}

void Form::Clicked(int control) {
    if (control < 0 || static_cast<std::size_t>(control) >= clickHandlers_.size())
        return;
    // A copy: the handler may unload this window and clear the table.
    const std::function<void()> handler = clickHandlers_[static_cast<std::size_t>(control)];
    if (handler)
        runtime_.Dispatch(handler);
}

void Form::CloseRequested() {
    runtime_.Dispatch([this] {
        OnCloseRequested();
        runtime_.Unload(*this);
    });
}

Control::Control(const Form& form, std::string_view name, ControlKind kind)
    : form_(form), name_(name), index_(form.Plan().IndexOfKind(name, kind)) {}

std::string Control::Text() const { return form_.LoadedWindow(name_).Text(index_); }

void Control::SetText(std::string_view text) const {
    form_.LoadedWindow(name_).SetText(index_, text);
}

FormsRuntime::FormsRuntime(WindowSystem& system) : system_(system) {}

FormsRuntime::~FormsRuntime() {
    for (auto& [type, form] : instances_)
        form->Discard();
    system_.DestroyPending();
}

void FormsRuntime::Unload(Form& form) {
    // An Unload handler that unloads its own window again changes nothing.
    if (!form.IsLoaded() || form.unloading_)
        return;
    {
        const FlagWhile unloading(form.unloading_);
        form.OnUnload();
    }
    form.Discard();
}

bool FormsRuntime::HasVisibleWindow() const {
    for (const auto& [type, form] : instances_)
        if (form->IsVisible())
            return true;
    return false;
}

void FormsRuntime::EndProgram() {
    ended_ = true;
    for (auto& [type, form] : instances_)
        form->Discard();
    system_.Quit(0);
}

void FormsRuntime::Dispatch(const std::function<void()>& handler) {
    if (ended_)
        return;
    try {
        handler();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quimbel: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "quimbel: a handler failed\n");
    }
}

} // namespace quimbel::ui
