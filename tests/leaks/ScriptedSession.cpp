// One whole session the way a user has it, for the leak check: start, OK on
// the welcome, type a size, convert, open and close a prompt, exit with the
// exit button. The event loop runs throughout, so ending works as it does for
// the real program.

#include "Appearance.h"
#include "Form1.h"
#include "Form2.h"
#include "Form4.h"
#include "Forms.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quimbel::forms::SetUpApplication(app);
    quimbel::forms::FormsRuntime runtime;
    runtime.Start<quimbel::Form1>();

    int failures = 0;
    QTimer::singleShot(0, &app, [&] {
        auto& main = runtime.DefaultInstance<quimbel::Form1>();
        QTest::mouseClick(&*runtime.DefaultInstance<quimbel::Form4>().Command1, Qt::LeftButton);
        QTest::keyClicks(&*main.Text1, "17");
        QTest::mouseClick(&*main.Command1, Qt::LeftButton);
        if (main.Text2.Text() != "41.99" || main.Text4.Text() != "22.44") {
            std::fprintf(stderr, "conversion gave %s\n", qPrintable(main.Text2.Text()));
            ++failures;
        }
        QTest::mouseClick(&*main.Command3, Qt::LeftButton);
        QTest::mouseClick(&*main.Command1, Qt::LeftButton); // empty: the inch prompt
        QTest::mouseClick(&*runtime.DefaultInstance<quimbel::Form2>().Command1, Qt::LeftButton);
        QTest::mouseClick(&*main.Command1, Qt::LeftButton); // and again, left open
        QTest::mouseClick(&*main.Command4, Qt::LeftButton);
    });
    const int status = QApplication::exec();
    if (!runtime.HasEnded()) {
        std::fprintf(stderr, "the exit button did not end the program\n");
        ++failures;
    }
    return failures == 0 ? status : 1;
}
