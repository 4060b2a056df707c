// Another program reading a field, as a screen reader or an automation tool
// would: asks the window given by its handle (hexadecimal) for its text
// length and text, and writes the text to a file as UTF-16.
//
//   quimbel_field_reader.exe HANDLE FILE
// Exits 0 when the text came whole (as long as the length said), else 1.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 2;
    const auto window =
        reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(argv[1], nullptr, 16)));
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 30000, &length))
        return 1;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 30000, &copied))
        return 1;
    text.resize(copied);
    FILE* file = _wfopen(argv[2], L"wb");
    if (!file)
        return 1;
    const bool written = fwrite(text.data(), sizeof(wchar_t), text.size(), file) == text.size();
    return fclose(file) == 0 && written && copied == length ? 0 : 1;
}
