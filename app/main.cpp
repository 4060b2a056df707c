#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel placeholder(QStringLiteral("Quimbel V2.3"));
    placeholder.show();
    return app.exec();
}
