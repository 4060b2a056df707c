#include "Program.h"
#include "Win32WindowSystem.h"

// Every run starts in the same state: the command line is ignored.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    quimbel::ui::Win32WindowSystem system(instance);
    return quimbel::RunProgram(system);
}
