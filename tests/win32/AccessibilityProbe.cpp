// A screen reader's view from another process: for each window handle on
// the command line, what Active Accessibility says its client area is.
// Writes a line to the file named first: the handle, then the role, name
// and description, tab-separated, in UTF-8, a line break in a text as "\n";
// or the handle and "error" with the failing call's result.

#include "AccessibleReading.h"

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 3;
    std::string lines;
    for (int i = 2; i < argc; ++i) {
        const auto handle = static_cast<std::uintptr_t>(std::wcstoull(argv[i], nullptr, 10));
        const std::string line = std::to_string(handle) + "\t" +
                                 quimbel::testing::Heard(reinterpret_cast<HWND>(handle)) + "\n";
        lines += line;
    }
    CoUninitialize();
    const HANDLE out = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    const BOOL wrote =
        WriteFile(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    CloseHandle(out);
    return wrote && written == lines.size() ? 0 : 2;
}
