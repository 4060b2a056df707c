// The program as a user of a high-contrast theme sees it, to look at under
// Wine, which has no such themes: its windows are told one is chosen. Says
// on standard error what Windows itself said.

#include "Program.h"
#include "Win32WindowSystem.h"

#include <cstdio>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    std::fprintf(stderr, "high contrast chosen, as Windows says: %s\n",
                 quimbel::ui::win32::HighContrastChosen() ? "yes" : "no");
    quimbel::ui::Win32WindowSystem system(instance, quimbel::ui::win32::User32Function,
                                          quimbel::ui::win32::ClipboardCopiesHere(),
                                          [] { return true; });
    return quimbel::RunProgram(system);
}
