// Reads back, through the Windows API, what the installer test cannot see
// from Linux: the version block and the icon of a program file, and where a
// shortcut points. Run under Wine by tests/installer/install_uninstall.sh.
//
//   quimbel_installer_probe version FILE     one line per value:
//       fixed.FileVersion=2.3.0.0, fixed.ProductVersion=2.3.0.0, then
//       <language>.<name>=<value> for each language's table, e.g.
//       0804.FileDescription=...
//   quimbel_installer_probe icon FILE ICO    compares the first icon group of
//       FILE with the images of the icon file ICO, one line per image; fails
//       unless FILE holds every image of ICO, byte for byte, and no other
//   quimbel_installer_probe shortcut LNK     target=, arguments=, icon=,
//       icon_index= of a shell link
//
// Output is UTF-8. Exit status: 0 when the file could be read (and, for icon,
// the images match), 1 otherwise, 2 on bad usage.

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

// Bytes as they are, whatever the console's code page: the test reads a pipe.
void Print(const std::string& line) {
    const std::string withEnd = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), withEnd.data(), DWORD(withEnd.size()), &written,
              nullptr);
}

void Fail(const std::string& what) {
    const std::string line = "quimbel_installer_probe: " + what + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
}

std::string Quad(DWORD high, DWORD low) {
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", (unsigned long)HIWORD(high),
                  (unsigned long)LOWORD(high), (unsigned long)HIWORD(low),
                  (unsigned long)LOWORD(low));
    return text;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

// Each version resource of the file: a program may carry one per language
// (NSIS writes one for each of its languages), or one with several tables.
int PrintVersion(const wchar_t* file) {
    HMODULE module =
        LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        Fail("cannot open " + Utf8(file));
        return 1;
    }
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    static const wchar_t* const names[] = {
        L"ProductName", L"FileDescription", L"CompanyName",     L"LegalCopyright",
        L"FileVersion", L"ProductVersion",  L"OriginalFilename"};
    struct Translation {
        WORD language;
        WORD codePage;
    };
    for (WORD resourceLanguage : languages) {
        HRSRC found = FindResourceExW(module, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO),
                                      resourceLanguage);
        const auto* data =
            static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
        if (!data)
            continue;
        // VerQueryValue may write into the block: a copy, with room to spare.
        std::vector<unsigned char> block(data, data + SizeofResource(module, found));
        block.resize(block.size() * 2);
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueW(block.data(), L"\\", &value, &length) &&
            length >= sizeof(VS_FIXEDFILEINFO)) {
            const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
            Print("fixed.FileVersion=" + Quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
            Print("fixed.ProductVersion=" +
                  Quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
        }
        if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length))
            continue;
        const auto* translations = static_cast<const Translation*>(value);
        for (size_t i = 0; i < length / sizeof(Translation); ++i) {
            wchar_t table[16];
            std::swprintf(table, 16, L"%04x%04x", translations[i].language,
                          translations[i].codePage);
            wchar_t language[8];
            std::swprintf(language, 8, L"%04x", translations[i].language);
            for (const wchar_t* name : names) {
                const std::wstring path =
                    std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
                void* text = nullptr;
                UINT chars = 0;
                if (VerQueryValueW(block.data(), path.c_str(), &text, &chars) && chars > 0)
                    Print(Utf8(language) + "." + Utf8(name) + "=" +
                          Utf8(std::wstring(static_cast<const wchar_t*>(text),
                                            wcsnlen(static_cast<const wchar_t*>(text), chars))));
            }
        }
    }
    FreeLibrary(module);
    if (languages.empty()) {
        Fail("no version information in " + Utf8(file));
        return 1;
    }
    return 0;
}

// The layouts of an .ico file and of an icon group resource (both packed).
#pragma pack(push, 2)
struct IconDir {
    WORD reserved;
    WORD type;
    WORD count;
};
struct IconFileEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    DWORD offset;
};
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

BOOL CALLBACK TakeFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
    auto* first = reinterpret_cast<std::wstring*>(found);
    *first = IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                  : std::wstring(name);
    return FALSE; // the first group is the one Explorer shows
}

std::vector<unsigned char> Resource(HMODULE module, LPCWSTR name, LPCWSTR type) {
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    const auto* data = static_cast<const unsigned char*>(LockResource(loaded));
    if (!data)
        return {};
    return {data, data + SizeofResource(module, found)};
}

std::string Describe(int width, int height, int bitCount, size_t bytes) {
    // 0 in a directory entry stands for 256.
    char text[96];
    std::snprintf(text, sizeof text, "%dx%d, %d bits, %zu bytes", width ? width : 256,
                  height ? height : 256, bitCount, bytes);
    return text;
}

int CompareIcon(const wchar_t* file, const wchar_t* iconPath) {
    std::ifstream in(iconPath, std::ios::binary);
    const std::vector<unsigned char> ico{std::istreambuf_iterator<char>(in), {}};
    if (ico.size() < sizeof(IconDir)) {
        Fail("cannot read the icon file " + Utf8(iconPath));
        return 1;
    }
    IconDir dir;
    std::memcpy(&dir, ico.data(), sizeof dir);

    HMODULE module =
        LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        Fail("cannot open " + Utf8(file));
        return 1;
    }
    std::wstring groupName;
    EnumResourceNamesW(module, RT_GROUP_ICON, TakeFirstName,
                       reinterpret_cast<LONG_PTR>(&groupName));
    if (groupName.empty()) {
        Fail("no icon in " + Utf8(file));
        FreeLibrary(module);
        return 1;
    }
    const std::vector<unsigned char> group = Resource(module, groupName.c_str(), RT_GROUP_ICON);
    IconDir groupDir{};
    if (group.size() >= sizeof groupDir)
        std::memcpy(&groupDir, group.data(), sizeof groupDir);

    std::vector<std::vector<unsigned char>> images;
    for (WORD i = 0; i < groupDir.count; ++i) {
        IconGroupEntry entry;
        const size_t at = sizeof(IconDir) + i * sizeof entry;
        if (at + sizeof entry > group.size())
            break;
        std::memcpy(&entry, group.data() + at, sizeof entry);
        images.push_back(Resource(module, MAKEINTRESOURCEW(entry.id), RT_ICON));
    }
    FreeLibrary(module);

    int missing = 0;
    for (WORD i = 0; i < dir.count; ++i) {
        IconFileEntry entry;
        const size_t at = sizeof(IconDir) + i * sizeof entry;
        if (at + sizeof entry <= ico.size())
            std::memcpy(&entry, ico.data() + at, sizeof entry);
        if (at + sizeof entry > ico.size() || size_t(entry.offset) + entry.bytes > ico.size()) {
            Fail("the icon file " + Utf8(iconPath) + " is cut short");
            return 1;
        }
        const unsigned char* bytes = ico.data() + entry.offset;
        bool same = false;
        for (const auto& image : images)
            same = same || (image.size() == entry.bytes &&
                            std::memcmp(image.data(), bytes, entry.bytes) == 0);
        missing += same ? 0 : 1;
        Print("image " + Describe(entry.width, entry.height, entry.bitCount, entry.bytes) + ": " +
              (same ? "same" : "MISSING"));
    }
    Print("images in the program's icon: " + std::to_string(images.size()) +
          ", in the icon file: " + std::to_string(dir.count));
    return missing == 0 && images.size() == dir.count ? 0 : 1;
}

int PrintShortcut(const wchar_t* path) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int status = 1;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(path, STGM_READ))) {
        wchar_t text[MAX_PATH * 2] = L"";
        int index = 0;
        link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
        Print("target=" + Utf8(text));
        text[0] = L'\0';
        link->GetArguments(text, MAX_PATH * 2);
        Print("arguments=" + Utf8(text));
        text[0] = L'\0';
        link->GetIconLocation(text, MAX_PATH * 2, &index);
        Print("icon=" + Utf8(text));
        Print("icon_index=" + std::to_string(index));
        status = 0;
    } else {
        Fail("cannot read the shortcut " + Utf8(path));
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    CoUninitialize();
    return status;
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"version" && argc == 3)
        return PrintVersion(argv[2]);
    if (command == L"icon" && argc == 4)
        return CompareIcon(argv[2], argv[3]);
    if (command == L"shortcut" && argc == 3)
        return PrintShortcut(argv[2]);
    std::fputs("usage: quimbel_installer_probe version FILE | icon FILE ICO | shortcut LNK\n",
               stderr);
    return 2;
}
