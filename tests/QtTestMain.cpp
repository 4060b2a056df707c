// GoogleTest entry for tests that drive real widgets: one QApplication for the
// whole run, on the offscreen platform unless the caller chose another.

#include "Appearance.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {
QtMessageHandler defaultHandler = nullptr;

// The offscreen platform cannot raise windows and says so on every Show.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message == QLatin1String("This plugin does not support raise()"))
        return;
    defaultHandler(type, context, message);
}
} // namespace

int main(int argc, char** argv) {
    defaultHandler = qInstallMessageHandler(QuietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quimbel::forms::SetUpApplication(app);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
