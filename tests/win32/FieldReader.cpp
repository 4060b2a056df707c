// Another program reading a field, as a screen reader or an automation tool
// would: asks the window given by its handle (hexadecimal) for its text
// length and text, and writes the text to a file as UTF-16.
//
//   quimbel_field_reader.exe HANDLE FILE
//   quimbel_field_reader.exe --find TITLE FILE
//   quimbel_field_reader.exe --rows HANDLE FILE
//
// --find looks the field up itself, for a drive from outside Windows that
// knows the window only by its title: the top-left field of the shown window
// titled TITLE. It prints that field's handle, its line count
// (EM_GETLINECOUNT) and where its second line starts (EM_LINEINDEX 1).
// --rows writes where each of its lines (rows) starts instead, as
// EM_GETLINECOUNT and EM_LINEINDEX say, a decimal number a line.
// Exits 0 when the text came whole (as long as the length said), else 1.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Search {
    const wchar_t* title;
    HWND field = nullptr;
    RECT place{};
};

BOOL CALLBACK ConsiderChild(HWND child, LPARAM context) {
    auto& search = *reinterpret_cast<Search*>(context);
    wchar_t name[64] = {};
    RECT place{};
    if (!IsWindowVisible(child) || !GetClassNameW(child, name, 64) ||
        wcscmp(name, L"Quimbel.Field") != 0 || !GetWindowRect(child, &place))
        return TRUE;
    if (!search.field || place.top < search.place.top ||
        (place.top == search.place.top && place.left < search.place.left)) {
        search.field = child;
        search.place = place;
    }
    return TRUE;
}

BOOL CALLBACK ConsiderWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<Search*>(context);
    wchar_t title[256] = {};
    if (IsWindowVisible(window) && GetWindowTextW(window, title, 256) &&
        wcscmp(title, search.title) == 0)
        EnumChildWindows(window, ConsiderChild, context);
    return search.field ? FALSE : TRUE;
}

bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& answer) {
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 30000, &answer) !=
           0;
}

} // namespace

// Where each row of `window` starts, into `path`.
int WriteRows(HWND window, const wchar_t* path) {
    DWORD_PTR rows = 0;
    if (!Ask(window, EM_GETLINECOUNT, 0, 0, rows))
        return 1;
    FILE* file = _wfopen(path, L"w");
    if (!file)
        return 1;
    bool written = true;
    for (DWORD_PTR row = 0; row < rows && written; ++row) {
        DWORD_PTR start = 0;
        written = Ask(window, EM_LINEINDEX, row, 0, start) &&
                  std::fprintf(file, "%lld\n", static_cast<long long>(start)) > 0;
    }
    return fclose(file) == 0 && written ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && wcscmp(argv[1], L"--rows") == 0)
        return WriteRows(
            reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(argv[2], nullptr, 16))), argv[3]);
    const bool find = argc == 4 && wcscmp(argv[1], L"--find") == 0;
    if (argc != 3 && !find)
        return 2;
    HWND window = nullptr;
    if (find) {
        // A window found can be gone by the time it is asked (a dialog
        // closing): that counts as not found, and the search starts again.
        DWORD_PTR lines = 0;
        DWORD_PTR second = 0;
        for (int tries = 0;; ++tries) {
            Search search{argv[2]};
            EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
            window = search.field;
            if (window && Ask(window, EM_GETLINECOUNT, 0, 0, lines) &&
                Ask(window, EM_LINEINDEX, 1, 0, second))
                break;
            // A field that is there but does not answer is a failure.
            if (tries == 100 || (window && IsWindow(window)))
                return 1;
            Sleep(100);
        }
        std::printf(
            "%llx %lld %lld\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)),
            static_cast<long long>(lines), static_cast<long long>(static_cast<LONG_PTR>(second)));
        std::fflush(stdout);
    } else {
        window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(argv[1], nullptr, 16)));
    }
    const wchar_t* path = argv[argc - 1];
    DWORD_PTR length = 0;
    if (!Ask(window, WM_GETTEXTLENGTH, 0, 0, length))
        return 1;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), copied))
        return 1;
    text.resize(copied);
    FILE* file = _wfopen(path, L"wb");
    if (!file)
        return 1;
    const bool written = fwrite(text.data(), sizeof(wchar_t), text.size(), file) == text.size();
    return fclose(file) == 0 && written && copied == length ? 0 : 1;
}
