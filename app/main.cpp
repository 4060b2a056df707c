#include "Appearance.h"
#include "Form1.h"
#include "Forms.h"

#include <QApplication>

#include <cstdio>

// Every run starts in the same state: the command line is ignored, toolkit
// options included (those could restyle the windows or load files).
int main(int, char* argv[]) {
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    quimbel::forms::SetUpApplication(app);
    quimbel::forms::FormsRuntime runtime;
    runtime.Start<quimbel::Form1>();
    if (runtime.HasEnded())
        return 0;
    if (!runtime.HasVisibleWindow()) {
        std::fprintf(stderr, "quimbel: no window could be opened\n");
        return 1;
    }
    return QApplication::exec();
}
