// What a screen reader gets from the Qt windows, through Qt's accessibility
// interfaces as the AT-SPI bridge reads them: each window's role, name and
// description, and each control's role, name, description and the label
// that names it, from the table both back ends share.

#include "AccessibilityTable.h"
#include "Forms.h"
#include "QtAccess.h"
#include "QtWindowSystem.h"

#include <QAccessible>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

namespace quimbel::testing {
namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QAccessible::Role QtRole(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::Window:
        return QAccessible::Window;
    case AccessibleRole::Dialog:
        return QAccessible::Dialog;
    case AccessibleRole::Alert:
        return QAccessible::AlertMessage;
    case AccessibleRole::StaticText:
        return QAccessible::StaticText;
    case AccessibleRole::EditableText:
        return QAccessible::EditableText;
    case AccessibleRole::PushButton:
        return QAccessible::Button;
    case AccessibleRole::Grouping:
        break;
    }
    return QAccessible::Grouping;
}

// Each window loaded as the program loads it.
class Accessibility : public ::testing::Test {
protected:
    ui::Form& Load(const ui::WindowDesign* design) {
        const std::map<const ui::WindowDesign*, std::function<ui::Form&()>> loaders{
            {&forms::Form1::Layout,
             [this]() -> ui::Form& {
                 runtime_.Start<forms::Form1>();
                 return runtime_.DefaultInstance<forms::Form1>();
             }},
            {&forms::Form2::Layout, [this]() -> ui::Form& { return Shown<forms::Form2>(); }},
            {&forms::Form3::Layout, [this]() -> ui::Form& { return Shown<forms::Form3>(); }},
            {&forms::Form4::Layout, [this]() -> ui::Form& { return Shown<forms::Form4>(); }},
        };
        return loaders.at(design)();
    }

private:
    template <class F> ui::Form& Shown() {
        runtime_.DefaultInstance<F>().Show();
        return runtime_.DefaultInstance<F>();
    }

    ui::QtWindowSystem system_;
    ui::FormsRuntime runtime_{system_};
};

TEST_F(Accessibility, EachWindowSaysWhatItIsAndWhatItAnnounces) {
    for (const AccessibleWindow& row : AccessibleWindows) {
        SCOPED_TRACE(std::string(row.design->caption));
        QAccessibleInterface* window =
            QAccessible::queryAccessibleInterface(ui::QtWindowOf(Load(row.design)));
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->role(), QtRole(row.role));
        EXPECT_EQ(window->text(QAccessible::Name), Utf8(row.name));
        EXPECT_EQ(window->text(QAccessible::Description), Utf8(row.description));
    }
}

TEST_F(Accessibility, EachControlHasItsRoleNameDescriptionAndLabel) {
    for (const AccessibleControl& row : AccessibleControls) {
        SCOPED_TRACE(std::string(row.design->caption) + " " + std::string(row.control));
        ui::Form& form = Load(row.design);
        QAccessibleInterface* control =
            QAccessible::queryAccessibleInterface(ui::QtControlOf(form, row.control));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->role(), QtRole(row.role));
        EXPECT_EQ(control->text(QAccessible::Name), Utf8(row.name));
        EXPECT_EQ(control->text(QAccessible::Description), Utf8(row.description));
        if (row.labelledBy.empty())
            continue;
        // The label says which field it names: AT-SPI's "label for", and the
        // field's "labelled by" where both share a parent.
        QAccessibleInterface* label =
            QAccessible::queryAccessibleInterface(ui::QtControlOf(form, row.labelledBy));
        ASSERT_NE(label, nullptr);
        const auto labelled = label->relations(QAccessible::Labelled);
        ASSERT_EQ(labelled.size(), 1);
        EXPECT_EQ(labelled.front().first->object(), control->object());
    }
}

} // namespace
} // namespace quimbel::testing
