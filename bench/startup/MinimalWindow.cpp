// The yardstick for Quimbel's start-up: the least a Qt Widgets program can do
// to put Chinese text on the screen. One label, Qt's own defaults for
// everything else, so whatever Quimbel costs beyond this is its own doing.

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("欢迎使用"));
    label.show();
    return QApplication::exec();
}
