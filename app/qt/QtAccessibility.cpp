#include "QtAccessibility.h"

#include "QtWindowSystem.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace quimbel::ui {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QAccessible::Role RoleOf(WindowRole role) {
    switch (role) {
    case WindowRole::Dialog:
        return QAccessible::Dialog;
    case WindowRole::Alert:
        return QAccessible::AlertMessage;
    case WindowRole::Window:
        break;
    }
    return QAccessible::Window;
}

// A plain widget says "client" (AT-SPI "filler"): the window says what it is,
// its title as its name and its description from the plan.
QAccessibleInterface* WindowInterface(const QString&, QObject* object) {
    if (auto* window = dynamic_cast<QtWindow*>(object))
        return new QAccessibleWidget(window, RoleOf(window->Plan().role));
    return nullptr;
}

} // namespace

void MakeAccessible(QtWindow& window) {
    static const bool installed = [] {
        QAccessible::installFactory(WindowInterface);
        return true;
    }();
    (void)installed;
    const WindowPlan& plan = window.Plan();
    window.setAccessibleDescription(FromUtf8(plan.description));
    for (std::size_t i = 0; i < plan.controls.size(); ++i) {
        const ControlPlan& control = plan.controls[i];
        QWidget* widget = window.Control(static_cast<int>(i));
        widget->setAccessibleName(FromUtf8(control.accessibleName));
        widget->setAccessibleDescription(FromUtf8(control.accessibleDescription));
        // Qt's way to say "this label names that field" (no shortcut: the
        // label holds its caption with each "&" doubled).
        if (control.labelFor != NoControl)
            if (auto* label = qobject_cast<QLabel*>(widget))
                label->setBuddy(window.Control(control.labelFor));
    }
}

void AnnounceOpening(QtWindow& window) {
    const WindowRole role = window.Plan().role;
    if (role == WindowRole::Window)
        return;
    QAccessibleEvent event(&window, role == WindowRole::Alert ? QAccessible::Alert
                                                              : QAccessible::DialogStart);
    QAccessible::updateAccessibility(&event);
}

} // namespace quimbel::ui
