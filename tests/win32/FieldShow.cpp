// The main window's inch field holding the texts of FieldScripts.h, made
// large enough to show them, to look at (and take a picture of) under Wine:
//   quimbel_field_show.exe        every text, a line each
//   quimbel_field_show.exe N      text N alone, selected from a place inside it

#include "FieldScripts.h"
#include "Form1.h"
#include "Forms.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32WindowSystem.h"

#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    using namespace quimbel;
    ui::Win32WindowSystem system;
    ui::FormsRuntime runtime{system};
    runtime.Start<forms::Form1>();
    auto& form = runtime.DefaultInstance<forms::Form1>();
    form.Show();
    const HWND field = ui::Win32ControlOf(form, "Text1");
    std::wstring text;
    long chosen = -1;
    if (arguments && *arguments)
        chosen = std::wcstol(arguments, nullptr, 10);
    for (std::size_t i = 0; i < std::size(testing::Scripts); ++i) {
        if (chosen >= 0 && static_cast<std::size_t>(chosen) != i)
            continue;
        if (!text.empty())
            text += L"\r\n";
        text += testing::Scripts[i].text;
    }
    SetWindowPos(field, HWND_TOP, 0, 0, 460, 200, SWP_NOMOVE | SWP_NOACTIVATE);
    SetWindowTextW(field, text.c_str());
    SetFocus(field);
    if (chosen >= 0) {
        // From the second caret stop to the end.
        SendMessageW(field, EM_SETSEL, 0, 0);
        for (int i = 0; i < 1; ++i)
            SendMessageW(field, WM_KEYDOWN, VK_RIGHT, 0);
        DWORD from = 0;
        SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&from), 0);
        SendMessageW(field, EM_SETSEL, from, -1);
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        system.DeliverMessage(message);
    return 0;
}
