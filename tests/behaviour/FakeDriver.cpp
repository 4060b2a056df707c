// The behaviour tests on the in-memory window system: the layer and the
// windows' handlers alone, with keys working as the real back ends make them.

#include "Driver.h"
#include "FakeWindowSystem.h"

#include <algorithm>
#include <stdexcept>

namespace quimbel::testing {
namespace {

class FakeDriver final : public Driver {
public:
    ui::WindowSystem& System() override { return system_; }

    void Click(const ui::Form& form, std::string_view button) override {
        FakeWindow& window = Shown(form);
        window.Events().Clicked(Index(form, button));
    }

    void Type(const ui::Form& form, std::string_view field, std::string_view utf8) override {
        FakeWindow& window = Shown(form);
        const int index = Index(form, field);
        window.SetFocus(index);
        window.SetText(index, window.Text(index) + std::string(utf8));
    }

    void PressKey(const ui::Form& form, std::string_view control, Key key) override {
        Shown(form).SetFocus(Index(form, control));
        PressKeyInWindow(form, key);
    }

    void PressKeyInWindow(const ui::Form& form, Key key) override {
        FakeWindow& window = Shown(form);
        const int focus = window.Focus();
        if (focus == ui::NoControl)
            return;
        const bool field = window.Plan().controls[static_cast<std::size_t>(focus)].Kind() ==
                           ui::ControlKind::TextBox;
        switch (key) {
        case Key::Tab: {
            const auto& order = window.Plan().tabOrder;
            auto at = std::find(order.begin(), order.end(), focus);
            window.SetFocus(at + 1 == order.end() ? order.front() : *(at + 1));
            break;
        }
        case Key::Enter:
        case Key::Space:
            if (field)
                window.SetText(focus, window.Text(focus) + (key == Key::Enter ? "\n" : " "));
            else
                window.Events().Clicked(focus);
            break;
        case Key::Escape:
            break;
        }
    }

    void Close(const ui::Form& form) override { Shown(form).Events().CloseRequested(); }

    std::string Focused(const ui::Form& form) override {
        const FakeWindow& window = Loaded(form);
        if (window.Focus() == ui::NoControl)
            return {};
        return std::string(window.Plan().controls[static_cast<std::size_t>(window.Focus())].Name());
    }

    std::string Title(const ui::Form& form) override { return Loaded(form).Plan().caption; }

    int VisibleWindows() override { return system_.VisibleWindows(); }

    void ProcessEvents() override { system_.DestroyPending(); }

private:
    // A user reaches only a window on the screen.
    static FakeWindow& Shown(const ui::Form& form) {
        FakeWindow& window = Loaded(form);
        if (!window.IsVisible())
            throw std::logic_error("the window is not visible");
        return window;
    }

    static FakeWindow& Loaded(const ui::Form& form) {
        auto* window = dynamic_cast<FakeWindow*>(form.Native());
        if (!window)
            throw std::logic_error("the window is not loaded");
        return *window;
    }

    static int Index(const ui::Form& form, std::string_view control) {
        const int index = form.Plan().IndexOf(control);
        if (index == ui::NoControl)
            throw std::logic_error("no control " + std::string(control));
        return index;
    }

    FakeWindowSystem system_;
};

} // namespace

std::unique_ptr<Driver> MakeDriver() { return std::make_unique<FakeDriver>(); }

} // namespace quimbel::testing
