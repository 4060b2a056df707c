#include "Appearance.h"
#include "Program.h"
#include "QtWindowSystem.h"

#include <QApplication>

// Every run starts in the same state: the command line is ignored, toolkit
// options included (those could restyle the windows or load files).
int main(int, char* argv[]) {
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    quimbel::ui::SetUpApplication(app);
    quimbel::ui::QtWindowSystem system;
    return quimbel::RunProgram(system);
}
