#include "Appearance.h"
#include "Form1.h"
#include "Forms.h"

#include <QApplication>

// Command-line arguments are ignored; every run starts in the same state.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quimbel::forms::SetUpApplication(app);
    quimbel::forms::FormsRuntime runtime;
    runtime.Start<quimbel::Form1>();
    return QApplication::exec();
}
