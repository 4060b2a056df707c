// The yardstick of bench/run_windows_startup_bench.sh: about the least a
// Windows program does to greet the user, one window with one static label
// saying 欢迎使用, in the stock GUI font. Wide-character API only; the bench
// links in Quimbel's manifest, the one resource any program shipped today
// has (visual styles, DPI awareness).

#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"QuimbelMinimalWelcome";
    if (!RegisterClassW(&windowClass))
        return 1;

    // The client area of Quimbel's welcome dialog: 306 x 202 pixels.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, 306, 202};
    AdjustWindowRect(&frame, style, FALSE);
    const HWND window = CreateWindowExW(
        0, windowClass.lpszClassName, L"欢迎使用", style, CW_USEDEFAULT, CW_USEDEFAULT,
        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    const HWND label = CreateWindowExW(0, L"STATIC", L"欢迎使用", WS_CHILD | WS_VISIBLE, 16, 40,
                                       200, 24, window, nullptr, instance, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return int(message.wParam);
}
