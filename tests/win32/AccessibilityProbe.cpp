// A screen reader's view from another process: for each window handle on
// the command line, what Active Accessibility says its client area is.
// Writes a line to the file named first: the handle, then the role, name
// and description, tab-separated, in UTF-8, a line break in a text as "\n";
// or the handle and "error" with the failing call's result.

#include <windows.h>

#include <oleacc.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

// Defined here: MinGW-w64's import library can resolve its own to an import
// thunk, which no object answers to.
constexpr GUID AccessibleId{
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::string Utf8(const wchar_t* text) {
    if (!text || !*text)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size - 1));
    std::string escaped;
    for (const char c : utf8)
        escaped += c == '\n'   ? std::string("\\n")
                   : c == '\r' ? std::string("\\r")
                               : std::string(1, c);
    return escaped;
}

// A text and what the call said; a text may be absent (S_FALSE).
std::string Text(HRESULT result, BSTR text) {
    std::string answer = SUCCEEDED(result) ? Utf8(text) : "error " + std::to_string(result);
    SysFreeString(text);
    return answer;
}

std::string Read(HWND window) {
    IAccessible* object = nullptr;
    const HRESULT found = AccessibleObjectFromWindow(
        window, static_cast<DWORD>(OBJID_CLIENT), AccessibleId, reinterpret_cast<void**>(&object));
    if (FAILED(found) || !object)
        return "error " + std::to_string(found);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role{};
    const HRESULT roleResult = object->get_accRole(self, &role);
    std::string line = SUCCEEDED(roleResult) && role.vt == VT_I4
                           ? std::to_string(role.lVal)
                           : "error " + std::to_string(roleResult);
    VariantClear(&role);
    BSTR name = nullptr;
    const HRESULT nameResult = object->get_accName(self, &name);
    line += "\t" + Text(nameResult, name);
    BSTR description = nullptr;
    const HRESULT descriptionResult = object->get_accDescription(self, &description);
    line += "\t" + Text(descriptionResult, description);
    object->Release();
    return line;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 3;
    std::string lines;
    for (int i = 2; i < argc; ++i) {
        const auto handle = static_cast<std::uintptr_t>(std::wcstoull(argv[i], nullptr, 10));
        const std::string line =
            std::to_string(handle) + "\t" + Read(reinterpret_cast<HWND>(handle)) + "\n";
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
