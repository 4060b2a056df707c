#include "Appearance.h"
#include "DesktopLaunch.h"
#include "Program.h"
#include "QtWindowSystem.h"

#include <QApplication>

#include <string>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Every run starts in the same state: the command line is ignored, toolkit
// options included (those could restyle the windows or load files).
int main(int, char* argv[]) {
#if defined(__GLIBC__)
    // A field may hold a text of megabytes for a while. With fixed limits the
    // allocator maps such buffers on their own and hands memory back once
    // freed; its default raises both limits after the first large buffer, and
    // a cleared field would keep the heap it grew to.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
#endif
    // Before the QApplication, which takes the launch ID out of the environment.
    std::string startupId = quimbel::ui::StartupIdFromEnvironment();
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    quimbel::ui::SetUpApplication(app);
    quimbel::ui::QtWindowSystem system(std::move(startupId));
    return quimbel::RunProgram(system);
}
