// One whole session the way a user has it, for the leak check: start, OK on
// the welcome, type a size, convert, open and close a prompt, exit with the
// exit button. The event loop runs throughout, so ending works as it does for
// the real program.

#include "Appearance.h"
#include "Form1.h"
#include "Form2.h"
#include "Form4.h"
#include "Forms.h"
#include "QtAccess.h"
#include "QtWindowSystem.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quimbel::ui::SetUpApplication(app);
    quimbel::ui::QtWindowSystem system;
    quimbel::ui::FormsRuntime runtime(system);
    runtime.Start<quimbel::forms::Form1>();

    int failures = 0;
    QTimer::singleShot(0, &app, [&] {
        using quimbel::ui::QtControlOf;
        const auto click = [](const quimbel::ui::Form& form, const char* button) {
            QTest::mouseClick(QtControlOf<QPushButton>(form, button), Qt::LeftButton);
        };
        auto& main = runtime.DefaultInstance<quimbel::forms::Form1>();
        click(runtime.DefaultInstance<quimbel::forms::Form4>(), "Command1");
        QTest::keyClicks(QtControlOf<QPlainTextEdit>(main, "Text1"), "17");
        click(main, "Command1");
        if (main.Text2.Text() != "41.99" || main.Text4.Text() != "22.44") {
            std::fprintf(stderr, "conversion gave %s\n", main.Text2.Text().c_str());
            ++failures;
        }
        click(main, "Command3");
        click(main, "Command1"); // empty: the inch prompt
        click(runtime.DefaultInstance<quimbel::forms::Form2>(), "Command1");
        click(main, "Command1"); // and again, left open
        click(main, "Command4");
    });
    const int status = QApplication::exec();
    if (!runtime.HasEnded()) {
        std::fprintf(stderr, "the exit button did not end the program\n");
        ++failures;
    }
    return failures == 0 ? status : 1;
}
