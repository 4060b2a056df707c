#include "Forms.h"

#include "WindowBuilder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <exception>

namespace quimbel::forms {

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
    if (!IsLoaded()) {
        Load();
        if (hiddenWhileLoading_)
            return;
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void Form::Hide() {
    if (!IsLoaded())
        Load();
    if (loading_)
        hiddenWhileLoading_ = true;
    window_->hide();
}

void Form::Load() {
    window_ = BuildWindow(*this, design_, controls_);
    ConnectHandlers();
    loading_ = true;
    hiddenWhileLoading_ = false;
    struct LoadingDone {
        bool& loading;
        ~LoadingDone() { loading = false; }
    } done{loading_};
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
    if (!form.IsLoaded())
        return;
    form.OnUnload();
    if (!ended_)
        form.Discard();
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
    }
}

} // namespace quimbel::forms
