#include "FakeWindowSystem.h"

#include <algorithm>

namespace quimbel::testing {

FakeWindow::FakeWindow(FakeWindowSystem& system, const ui::WindowPlan& plan,
                       ui::WindowEvents& events)
    : system_(system), plan_(plan), events_(events), texts_(plan.controls.size()),
      focus_(plan.firstFocus) {
    for (std::size_t i = 0; i < plan.controls.size(); ++i)
        if (plan.controls[i].Kind() != ui::ControlKind::TextBox)
            texts_[i] = plan.controls[i].caption;
    system_.windows_.push_back(this);
}

FakeWindow::~FakeWindow() { std::erase(system_.windows_, this); }

void FakeWindow::Show() { visible_ = true; }

void FakeWindow::Hide() { visible_ = false; }

std::string FakeWindow::Text(int control) const {
    return texts_.at(static_cast<std::size_t>(control));
}

void FakeWindow::SetText(int control, std::string_view text) {
    texts_.at(static_cast<std::size_t>(control)) = std::string(text);
}

FakeWindowSystem::~FakeWindowSystem() { DestroyPending(); }

std::unique_ptr<ui::NativeWindow> FakeWindowSystem::MakeWindow(const ui::WindowPlan& plan,
                                                               ui::WindowEvents& events) {
    ++created_;
    return std::make_unique<FakeWindow>(*this, plan, events);
}

void FakeWindowSystem::DestroyLater(std::unique_ptr<ui::NativeWindow> window) {
    pending_.push_back(std::move(window));
}

void FakeWindowSystem::DestroyPending() { pending_.clear(); }

void FakeWindowSystem::Quit(int status) {
    quitCalled_ = true;
    quitStatus_ = status;
}

int FakeWindowSystem::VisibleWindows() const {
    return static_cast<int>(std::count_if(windows_.begin(), windows_.end(),
                                          [](const FakeWindow* w) { return w->IsVisible(); }));
}

} // namespace quimbel::testing
