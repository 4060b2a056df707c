#include "Forms.h"

#include "WindowBuilder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <exception>

namespace quimbel::forms {
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
    : runtime_(runtime), design_(design) {}

Form::~Form() { delete window_.data(); }

bool Form::IsVisible() const { return IsLoaded() && window_->isVisible(); }

QWidget* Form::Window() const { return window_.data(); }

QWidget* Form::FindControl(std::string_view name) const {
    if (!IsLoaded())
        return nullptr;
    for (const auto& [controlName, widget] : controls_)
        if (controlName == name)
            return widget;
    return nullptr;
}

void Form::Show() {
    if (runtime_.HasEnded())
        return;
    if (!IsLoaded()) {
        Load();
        // The Load handler may have hidden or unloaded it, or ended it all.
        if (!IsLoaded() || hiddenWhileLoading_)
            return;
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
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
    window_->hide();
}

void Form::Load() {
    window_ = BuildWindow(*this, design_, controls_);
    ConnectHandlers();
    hiddenWhileLoading_ = false;
    const FlagWhile loading(loading_);
    OnLoad();
}

void Form::Discard() {
    if (!IsLoaded())
        return;
    FormWindow* window = window_.data();
    window_ = nullptr;
    controls_.clear();
    window->hide();
    // The window may be the sender of the click being handled right now.
    window->deleteLater();
}

void Form::ConnectClick(std::string_view button, std::function<void()> handler) {
    auto* widget = qobject_cast<QPushButton*>(FindControl(button));
    if (!widget)
        throw ControlUnavailable("no button " + std::string(button));
    QObject::connect(widget, &QAbstractButton::clicked, widget,
                     [this, handler = std::move(handler)] { runtime_.Dispatch(handler); });
}

QString TextBox::Text() const { return (*this)->toPlainText(); }

void TextBox::SetText(const QString& text) const { (*this)->setPlainText(text); }

FormsRuntime::FormsRuntime() = default;

FormsRuntime::~FormsRuntime() {
    for (auto& [type, form] : instances_)
        form->Discard();
    // Windows already discarded are waiting for deferred deletion.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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
    QCoreApplication::exit(0);
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

} // namespace quimbel::forms
