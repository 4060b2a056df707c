#pragma once

// A window system in memory: windows are records of their texts, visibility
// and focus. It lets the layer's rules and the behaviour tests run without any
// toolkit, and counts what the layer asks of a back end.

#include "WindowSystem.h"

#include <memory>
#include <string>
#include <vector>

namespace quimbel::testing {

class FakeWindowSystem;

class FakeWindow final : public ui::NativeWindow {
public:
    FakeWindow(FakeWindowSystem& system, const ui::WindowPlan& plan, ui::WindowEvents& events);
    ~FakeWindow() override;

    void Show() override;
    void Hide() override;
    bool IsVisible() const override { return visible_; }
    std::string Text(int control) const override;
    void SetText(int control, std::string_view text) override;

    const ui::WindowPlan& Plan() const { return plan_; }
    ui::WindowEvents& Events() const { return events_; }
    int Focus() const { return focus_; }
    void SetFocus(int control) { focus_ = control; }

private:
    FakeWindowSystem& system_;
    const ui::WindowPlan& plan_;
    ui::WindowEvents& events_;
    std::vector<std::string> texts_;
    bool visible_ = false;
    int focus_;
};

class FakeWindowSystem final : public ui::WindowSystem {
public:
    ~FakeWindowSystem() override;

    std::unique_ptr<ui::NativeWindow> MakeWindow(const ui::WindowPlan& plan,
                                                 ui::WindowEvents& events) override;
    void DestroyLater(std::unique_ptr<ui::NativeWindow> window) override;
    void DestroyPending() override;
    int Run() override { return quitStatus_; }
    void Quit(int status) override;

    // Windows that exist (not yet destroyed), in the order they were made.
    const std::vector<FakeWindow*>& Windows() const { return windows_; }
    int VisibleWindows() const;
    int Created() const { return created_; }
    bool QuitCalled() const { return quitCalled_; }

private:
    friend class FakeWindow;

    std::vector<FakeWindow*> windows_;
    std::vector<std::unique_ptr<ui::NativeWindow>> pending_;
    int created_ = 0;
    bool quitCalled_ = false;
    int quitStatus_ = 0;
};

} // namespace quimbel::testing
