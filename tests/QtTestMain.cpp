// GoogleTest entry for tests that drive real widgets: one QApplication for the
// whole run, on the offscreen platform unless the caller chose another.

#include "Appearance.h"
#include "OffscreenMessages.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    quimbel::testing::SilenceOffscreenRaiseMessages();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quimbel::ui::SetUpApplication(app);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
