// The yardstick of bench/run_windows_startup_bench.sh: Quimbel's welcome
// dialog written by hand on the Windows API, with no forms layer in between.
// The same window (caption, client area, place, frame, icon), the same four
// controls with the same texts, fonts chosen from the same families by the
// same rule, the same button and tooltip, keyboard and focus; the bench links
// in the same icon and manifest. It does what a careful hand-written program
// needs to do to show this dialog, no more and no less, so that what Quimbel
// costs beyond it is the price of its own way of building windows.
//
// Wide-character API only, Windows 10's functions called directly;
// per-monitor DPI aware through the manifest.

#ifndef WINVER
#define WINVER 0x0A00
#define _WIN32_WINNT 0x0A00
#endif
#include "QuimbelVersion.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>

namespace {

// Everything is laid out in pixels at 96 dots per inch and scaled.
constexpr int DesignDpi = USER_DEFAULT_SCREEN_DPI;
constexpr int ClientWidth = 306;
constexpr int ClientHeight = 202;
// The client area's place, from the top-left of the work area.
constexpr int ClientLeft = 636;
constexpr int ClientTop = 353;
constexpr DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int IconResource = 1;
constexpr int WindowFontPoints = 9;
constexpr int WelcomeFontPoints = 12;

// The window's face: a Simplified Chinese user-interface font, else a
// Chinese Song face; the welcome line's: SimSun, else another Song face.
constexpr std::array<const wchar_t*, 9> WindowFamilies{L"Microsoft YaHei UI",
                                                       L"Microsoft YaHei",
                                                       L"Noto Sans CJK SC",
                                                       L"Source Han Sans SC",
                                                       L"SimSun",
                                                       L"WenQuanYi Micro Hei",
                                                       L"WenQuanYi Zen Hei",
                                                       L"Droid Sans Fallback",
                                                       L"宋体"};
constexpr std::array<const wchar_t*, 7> SongFamilies{L"SimSun",
                                                     L"宋体",
                                                     L"NSimSun",
                                                     L"Noto Serif CJK SC",
                                                     L"Source Han Serif SC",
                                                     L"AR PL UMing CN",
                                                     L"AR PL SungtiL GB"};

enum ControlId { Welcome = 100, Rights, Credit };

struct ControlDesign {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    int left;
    int top;
    int width;
    int height;
};

// Front to back as the user sees them: the button above the labels. The
// welcome line's text is the greeting and the product's name and version.
constexpr std::array<ControlDesign, 4> Controls{{
    {IDOK, L"Button", L"确定", WS_TABSTOP | BS_PUSHBUTTON, 112, 104, 89, 41},
    {Welcome, L"Static", nullptr, SS_OWNERDRAW, 16, 40, 273, 17},
    {Rights, L"Static", L"版权所有 © 2026", SS_OWNERDRAW, 200, 184, 105, 17},
    {Credit, L"Static", L"开发：Quimbel 开发组", SS_OWNERDRAW, 8, 184, 137, 17},
}};

struct Dialog {
    std::wstring title;
    std::wstring welcome;
    HWND window = nullptr;
    HWND toolTip = nullptr;
    std::array<HWND, Controls.size()> controls{};
    UINT dpi = DesignDpi;
    HFONT windowFont = nullptr;
    HFONT welcomeFont = nullptr;
    HICON smallIcon = nullptr;
    HICON bigIcon = nullptr;
};

Dialog dialog;

int Scaled(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), DesignDpi); }

// A control's place at a resolution: its edges scaled, so that controls that
// meet still meet.
RECT Place(const ControlDesign& design, UINT dpi) {
    return {Scaled(design.left, dpi), Scaled(design.top, dpi),
            Scaled(design.left + design.width, dpi), Scaled(design.top + design.height, dpi)};
}

std::wstring Wide(std::string_view utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(std::size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()),
                                                wide.data(), int(wide.size()))));
    return wide;
}

int CALLBACK FamilyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// The first of the families that is installed, else the first named: the
// font mapper then finds a stand-in with the Chinese characters.
template <std::size_t N>
std::wstring FirstInstalled(const std::array<const wchar_t*, N>& families) {
    const HDC screen = GetDC(nullptr);
    for (const wchar_t* family : families) {
        LOGFONTW wanted{};
        wanted.lfCharSet = DEFAULT_CHARSET;
        std::wstring_view(family).copy(wanted.lfFaceName, LF_FACESIZE - 1);
        bool found = false;
        EnumFontFamiliesExW(screen, &wanted, FamilyFound, reinterpret_cast<LPARAM>(&found), 0);
        if (found) {
            ReleaseDC(nullptr, screen);
            return family;
        }
    }
    ReleaseDC(nullptr, screen);
    return families.front();
}

HFONT MakeFont(const std::wstring& face, int pixels, bool bold) {
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

// Where a label's line sits: its ink centred in the label's height, as the
// program's other windows place theirs. The line spacing of these faces is
// taller than the designed labels, so the line box cannot be centred instead.
struct LinePlace {
    int baseline;
    bool fits;
};

LinePlace PlaceLine(HDC dc, std::wstring_view text, SIZE label) {
    static constexpr MAT2 Identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    double inkTop = 0;
    double inkBottom = 0;
    for (const wchar_t unit : text) {
        GLYPHMETRICS metrics{};
        if (unit <= L' ' ||
            GetGlyphOutlineW(dc, unit, GGO_METRICS, &metrics, 0, nullptr, &Identity) == GDI_ERROR)
            continue;
        inkTop = std::min(inkTop, -double(metrics.gmptGlyphOrigin.y));
        inkBottom = std::max(inkBottom, double(metrics.gmBlackBoxY) - metrics.gmptGlyphOrigin.y);
    }
    TEXTMETRICW font{};
    GetTextMetricsW(dc, &font);
    const double pitch = std::min(double(font.tmHeight + font.tmExternalLeading), double(label.cy));
    const int baseline = int(std::lround((pitch - (inkBottom - inkTop)) / 2 - inkTop));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.data(), int(text.size()), &extent);
    return {baseline,
            extent.cx <= label.cx && baseline + inkTop >= 0 && baseline + inkBottom <= label.cy};
}

// The welcome line's font at its designed size, or a pixel at a time smaller
// until the line fits its label: a stand-in for SimSun may reach further.
HFONT FittedFont(const std::wstring& face, int points, bool bold, UINT dpi, std::wstring_view text,
                 SIZE label) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const int minimum = MulDiv(6, static_cast<int>(dpi), DesignDpi);
    for (int pixels = MulDiv(points, static_cast<int>(dpi), 72);; --pixels) {
        const HFONT font = MakeFont(face, pixels, bold);
        if (!font || pixels <= minimum) {
            DeleteDC(dc);
            return font;
        }
        const HGDIOBJ previous = SelectObject(dc, font);
        const bool fits = PlaceLine(dc, text, label).fits;
        SelectObject(dc, previous);
        if (fits) {
            DeleteDC(dc);
            return font;
        }
        DeleteObject(font);
    }
}

void DrawLabel(const DRAWITEMSTRUCT& item) {
    const HDC dc = item.hDC;
    FillRect(dc, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    wchar_t text[64];
    const int length = GetWindowTextW(item.hwndItem, text, int(std::size(text)));
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    const LinePlace place =
        PlaceLine(dc, {text, std::size_t(length)},
                  {item.rcItem.right - item.rcItem.left, item.rcItem.bottom - item.rcItem.top});
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
    TextOutW(dc, item.rcItem.left, item.rcItem.top + place.baseline, text, length);
    SelectObject(dc, previous);
}

void MakeFonts(UINT dpi) {
    static const std::wstring windowFace = FirstInstalled(WindowFamilies);
    static const std::wstring welcomeFace = FirstInstalled(SongFamilies);
    const HFONT windowFont =
        MakeFont(windowFace, MulDiv(WindowFontPoints, static_cast<int>(dpi), 72), false);
    const RECT welcome = Place(Controls[1], dpi);
    const HFONT welcomeFont =
        FittedFont(welcomeFace, WelcomeFontPoints, true, dpi, dialog.welcome,
                   {welcome.right - welcome.left, welcome.bottom - welcome.top});
    if (dialog.windowFont)
        DeleteObject(dialog.windowFont);
    if (dialog.welcomeFont)
        DeleteObject(dialog.welcomeFont);
    dialog.windowFont = windowFont;
    dialog.welcomeFont = welcomeFont;
}

HFONT FontOf(const ControlDesign& design) {
    return design.id == Welcome ? dialog.welcomeFont : dialog.windowFont;
}

void SetIcons(UINT dpi) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto icon = [&](int width, int height) {
        return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IconResource), IMAGE_ICON,
                                             GetSystemMetricsForDpi(width, dpi),
                                             GetSystemMetricsForDpi(height, dpi), LR_DEFAULTCOLOR));
    };
    const HICON small = icon(SM_CXSMICON, SM_CYSMICON);
    const HICON big = icon(SM_CXICON, SM_CYICON);
    SendMessageW(dialog.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    SendMessageW(dialog.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (dialog.smallIcon)
        DestroyIcon(dialog.smallIcon);
    if (dialog.bigIcon)
        DestroyIcon(dialog.bigIcon);
    dialog.smallIcon = small;
    dialog.bigIcon = big;
}

// Fonts, places and icons anew, for the resolution of another monitor.
void LayOut(UINT dpi) {
    MakeFonts(dpi);
    for (std::size_t i = 0; i < Controls.size(); ++i) {
        const RECT place = Place(Controls[i], dpi);
        SetWindowPos(dialog.controls[i], nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(dialog.controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(Controls[i])),
                     FALSE);
    }
    if (dialog.toolTip)
        SendMessageW(dialog.toolTip, WM_SETFONT, reinterpret_cast<WPARAM>(dialog.windowFont),
                     FALSE);
    SetIcons(dpi);
    dialog.dpi = dpi;
}

// The window rectangle that puts the client area at its place in the work
// area, moved back inside where it would stick out.
RECT WindowRect(UINT dpi) {
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const int width = Scaled(ClientWidth, dpi);
    const int height = Scaled(ClientHeight, dpi);
    const int left = std::max<int>(
        work.left, std::min<int>(work.left + Scaled(ClientLeft, dpi), work.right - width));
    const int top = std::max<int>(
        work.top, std::min<int>(work.top + Scaled(ClientTop, dpi), work.bottom - height));
    RECT rect{left, top, left + width, top + height};
    AdjustWindowRectExForDpi(&rect, WindowStyle, FALSE, 0, dpi);
    return rect;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // OK, by mouse, Space or Enter.
        if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED)
            DestroyWindow(window);
        return 0;
    case WM_DRAWITEM:
        DrawLabel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            SetFocus(dialog.controls[0]);
        return 0;
    case WM_DPICHANGED: {
        LayOut(HIWORD(wParam));
        InvalidateRect(window, nullptr, TRUE);
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested.left, suggested.top,
                     suggested.right - suggested.left, suggested.bottom - suggested.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = L"QuimbelWelcomeTwin";
    if (!RegisterClassExW(&windowClass))
        return 1;

    // Made at its place, at the system's resolution, then moved should its
    // monitor have another; its controls at their places, in their fonts.
    dialog.title = Wide(quimbel::ProductTitle);
    dialog.welcome = L" 欢迎使用 " + dialog.title;
    const UINT systemDpi = GetDpiForSystem();
    const RECT rect = WindowRect(systemDpi);
    dialog.window = CreateWindowExW(0, windowClass.lpszClassName, dialog.title.c_str(), WindowStyle,
                                    rect.left, rect.top, rect.right - rect.left,
                                    rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    if (!dialog.window)
        return 1;
    dialog.dpi = GetDpiForWindow(dialog.window);
    if (dialog.dpi != systemDpi) {
        const RECT placed = WindowRect(dialog.dpi);
        SetWindowPos(dialog.window, nullptr, placed.left, placed.top, placed.right - placed.left,
                     placed.bottom - placed.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    MakeFonts(dialog.dpi);
    for (std::size_t i = 0; i < Controls.size(); ++i) {
        const ControlDesign& design = Controls[i];
        const RECT place = Place(design, dialog.dpi);
        dialog.controls[i] = CreateWindowExW(
            0, design.className, design.text ? design.text : dialog.welcome.c_str(),
            design.style | WS_CHILD | WS_VISIBLE, place.left, place.top, place.right - place.left,
            place.bottom - place.top, dialog.window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)), instance, nullptr);
        if (!dialog.controls[i])
            return 1;
        SendMessageW(dialog.controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(design)),
                     FALSE);
    }
    dialog.toolTip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, dialog.window, nullptr, instance, nullptr);
    if (dialog.toolTip) {
        SendMessageW(dialog.toolTip, WM_SETFONT, reinterpret_cast<WPARAM>(dialog.windowFont),
                     FALSE);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = dialog.window;
        tool.uId = reinterpret_cast<UINT_PTR>(dialog.controls[0]);
        tool.lpszText = const_cast<wchar_t*>(L"确定");
        SendMessageW(dialog.toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SetIcons(dialog.dpi);
    ShowWindow(dialog.window, show);
    UpdateWindow(dialog.window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Enter and Space as in a dialog.
        if (IsDialogMessageW(dialog.window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return int(message.wParam);
}
