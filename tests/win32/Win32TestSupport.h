#pragma once

// What the Windows back end's tests share: running the queue as the event
// loop does, and drawing a window into a bitmap to look at its pixels.

#include "Form1.h"
#include "Forms.h"
#include "Win32Access.h"
#include "Win32Window.h"
#include "Win32WindowSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quimbel::testing {

// Runs the thread's queue empty through the window system's own handling.
inline void Pump(ui::Win32WindowSystem& system) {
    MSG message{};
    for (int i = 0; i < 100000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i)
        system.DeliverMessage(message);
}

// The field reader (quimbel_field_reader.exe, built next to the test) run as
// another program on `field` with `arguments` before its output file, while
// this thread answers its questions. Its exit code and what it wrote, read
// as bytes; nothing where it did not start or end within a minute.
struct ReaderRun {
    DWORD code;
    std::string written;
};
inline std::optional<ReaderRun> RunFieldReader(ui::Win32WindowSystem& system, HWND field,
                                               const std::wstring& arguments) {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    const std::wstring reader =
        self.substr(0, self.find_last_of(L"\\/") + 1) + L"quimbel_field_reader.exe";
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring file = std::wstring(temporary) + L"quimbel_field_reader-" +
                              std::to_wstring(GetCurrentProcessId()) + L".out";
    wchar_t hexadecimal[32];
    swprintf(hexadecimal, 32, L"%llx",
             static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(field)));
    std::wstring command = L"\"" + reader + L"\" " + arguments + (arguments.empty() ? L"" : L" ") +
                           hexadecimal + L" \"" + file + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(reader.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return std::nullopt;
    const ULONGLONG until = GetTickCount64() + 60000;
    bool ended = false;
    while (!ended && GetTickCount64() < until) {
        ended = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 1000, QS_ALLINPUT) ==
                WAIT_OBJECT_0;
        Pump(system);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!ended)
        return std::nullopt;
    ReaderRun run{code, {}};
    if (FILE* in = _wfopen(file.c_str(), L"rb")) {
        char buffer[4096];
        for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, in)) > 0;)
            run.written.append(buffer, got);
        fclose(in);
    }
    DeleteFileW(file.c_str());
    return run;
}

// The main window shown, its Text1 the field a test works in.
class MainWindowField : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_.Start<forms::Form1>();
        Form().Show();
        Pump(system_);
    }
    forms::Form1& Form() { return runtime_.DefaultInstance<forms::Form1>(); }
    HWND Field() { return ui::Win32ControlOf(Form(), "Text1"); }
    // Where the caret is: the selection's end.
    DWORD Caret() {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return end;
    }

    ui::Win32WindowSystem system_;
    ui::FormsRuntime runtime_{system_};
};

// `text` as the clipboard's only content, as another program would put it there.
inline void PutOnClipboard(std::wstring_view text) {
    if (!OpenClipboard(nullptr))
        return;
    EmptyClipboard();
    const HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    auto* target = static_cast<wchar_t*>(GlobalLock(data));
    std::copy(text.begin(), text.end(), target);
    target[text.size()] = L'\0';
    GlobalUnlock(data);
    SetClipboardData(CF_UNICODETEXT, data);
    CloseClipboard();
}

inline std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return L"(clipboard not opened)";
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// A window's client area as it paints itself, with `margin` pixels all round
// that it has no business painting, first filled with Sentinel.
class Rendering {
public:
    static constexpr COLORREF Sentinel = RGB(255, 0, 255);

    Rendering(HWND window, int margin) : margin_(margin) {
        RECT client{};
        GetClientRect(window, &client);
        width_ = client.right + 2 * margin;
        height_ = client.bottom + 2 * margin;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        const HDC dc = CreateCompatibleDC(nullptr);
        const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ previous = SelectObject(dc, bitmap);
        const HBRUSH sentinel = CreateSolidBrush(Sentinel);
        const RECT all{0, 0, width_, height_};
        FillRect(dc, &all, sentinel);
        DeleteObject(sentinel);
        SetViewportOrgEx(dc, margin, margin, nullptr);
        SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits);
        pixels_.reserve(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
        // A 32-bit DIB pixel is 0x00RRGGBB; a COLORREF is 0x00BBGGRR.
        for (int i = 0; i < width_ * height_; ++i) {
            const DWORD pixel = pixels[i];
            pixels_.push_back(RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF));
        }
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }

    // In client coordinates: (0, 0) is the client area's top left pixel.
    COLORREF At(int x, int y) const {
        return pixels_[static_cast<std::size_t>((y + margin_) * width_ + x + margin_)];
    }
    bool InsideClient(int x, int y) const {
        return x >= 0 && y >= 0 && x < width_ - 2 * margin_ && y < height_ - 2 * margin_;
    }
    int Left() const { return -margin_; }
    int Top() const { return -margin_; }
    int Right() const { return width_ - margin_; }
    int Bottom() const { return height_ - margin_; }

private:
    int margin_;
    int width_ = 0;
    int height_ = 0;
    std::vector<COLORREF> pixels_;
};

} // namespace quimbel::testing
