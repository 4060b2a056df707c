// The behaviour tests on Qt Widgets: real widgets on the offscreen platform,
// driven with QTest's mouse and key events. The entry is QtTestMain.cpp.

#include "Driver.h"
#include "QtAccess.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <stdexcept>

namespace quimbel::testing {
namespace {

Qt::Key QtKey(Key key) {
    switch (key) {
    case Key::Enter:
        return Qt::Key_Return;
    case Key::Tab:
        return Qt::Key_Tab;
    case Key::Escape:
        return Qt::Key_Escape;
    case Key::Space:
        return Qt::Key_Space;
    }
    return Qt::Key_unknown;
}

class QtDriver final : public Driver {
public:
    ui::WindowSystem& System() override { return system_; }

    void Click(const ui::Form& form, std::string_view button) override {
        QTest::mouseClick(Widget<QPushButton>(form, button), Qt::LeftButton);
    }

    // Chinese text (full-width digits among it) arrives from an input method
    // as committed text, not as key presses.
    void Type(const ui::Form& form, std::string_view field, std::string_view utf8) override {
        auto* edit = Widget<QPlainTextEdit>(form, field);
        QTest::mouseClick(edit->viewport(), Qt::LeftButton);
        const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
        for (const QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClicks(edit, QString(c));
                continue;
            }
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(edit, &commit);
        }
    }

    void PressKey(const ui::Form& form, std::string_view control, Key key) override {
        QWidget* widget = Widget<QWidget>(form, control);
        widget->setFocus();
        QTest::keyClick(widget, QtKey(key));
    }

    void PressKeyInWindow(const ui::Form& form, Key key) override {
        QWidget* window = Window(form);
        QApplication::setActiveWindow(window);
        QWidget* target = window->focusWidget() ? window->focusWidget() : window;
        QTest::keyClick(target, QtKey(key));
    }

    void Close(const ui::Form& form) override { Window(form)->close(); }

    std::string Focused(const ui::Form& form) override {
        const QWidget* focus = Window(form)->focusWidget();
        return focus ? focus->objectName().toStdString() : std::string();
    }

    std::string Title(const ui::Form& form) override {
        return Window(form)->windowTitle().toStdString();
    }

    int VisibleWindows() override {
        int visible = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            visible += dynamic_cast<ui::QtWindow*>(widget) && widget->isVisible();
        return visible;
    }

    void ProcessEvents() override {
        QApplication::processEvents();
        system_.DestroyPending();
    }

private:
    static ui::QtWindow* Window(const ui::Form& form) {
        ui::QtWindow* window = ui::QtWindowOf(form);
        if (!window)
            throw std::logic_error("the window is not loaded");
        return window;
    }

    template <class W> static W* Widget(const ui::Form& form, std::string_view name) {
        W* widget = ui::QtControlOf<W>(form, name);
        if (!widget)
            throw std::logic_error("no loaded control " + std::string(name));
        return widget;
    }

    ui::QtWindowSystem system_;
};

} // namespace

std::unique_ptr<Driver> MakeDriver() { return std::make_unique<QtDriver>(); }

} // namespace quimbel::testing
