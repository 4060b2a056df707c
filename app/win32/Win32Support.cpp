#include "Win32Support.h"

#include <cstdio>
#include <system_error>

namespace quimbel::ui::win32 {
namespace {

// The detour through void(*)() is the portable way between function pointer
// types.
template <class Function> Function LookUp(FunctionLookUp lookUp, const char* name) {
    return reinterpret_cast<Function>(lookUp(name));
}

} // namespace

void ReportMessageFailure(const char* what) noexcept {
    std::fprintf(stderr, "quimbel: %s\n", what);
}

void ThrowLastError(const char* what) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

AnyFunction User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32)
        return nullptr;
    return reinterpret_cast<AnyFunction>(GetProcAddress(user32, name));
}

ClipboardCopies ClipboardCopiesHere() {
    static const ClipboardCopies here = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") ? ClipboardCopies::KeptInProcess
                                                                  : ClipboardCopies::KeptBySystem;
    }();
    return here;
}

WindowClass::WindowClass(const WNDCLASSEXW& description)
    : instance_(description.hInstance), atom_(RegisterClassExW(&description)) {
    if (atom_ == 0)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "RegisterClassExW");
}

WindowClass::~WindowClass() { UnregisterClassW(MAKEINTATOM(atom_), instance_); }

DpiFunctions::DpiFunctions(FunctionLookUp lookUp)
    : getDpiForWindow_(LookUp<GetDpiForWindowFn>(lookUp, "GetDpiForWindow")),
      getDpiForSystem_(LookUp<GetDpiForSystemFn>(lookUp, "GetDpiForSystem")),
      getSystemMetricsForDpi_(LookUp<GetSystemMetricsForDpiFn>(lookUp, "GetSystemMetricsForDpi")),
      adjustWindowRectExForDpi_(
          LookUp<AdjustWindowRectExForDpiFn>(lookUp, "AdjustWindowRectExForDpi")),
      setThreadDpiAwarenessContext_(
          LookUp<SetThreadDpiAwarenessContextFn>(lookUp, "SetThreadDpiAwarenessContext")) {}

UINT DpiFunctions::ScreenDpi() const {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT DpiFunctions::SystemDpi() const {
    if (getDpiForSystem_)
        return getDpiForSystem_();
    return ScreenDpi();
}

UINT DpiFunctions::WindowDpi(HWND window) const {
    if (getDpiForWindow_) {
        const UINT dpi = getDpiForWindow_(window);
        if (dpi != 0)
            return dpi;
    }
    return SystemDpi();
}

int DpiFunctions::SystemMetric(int index, UINT dpi) const {
    if (getSystemMetricsForDpi_)
        return getSystemMetricsForDpi_(index, dpi);
    // Windows 7 measures at the system resolution, which every window there has.
    return GetSystemMetrics(index);
}

RECT DpiFunctions::WindowRectForClient(RECT client, DWORD style, DWORD exStyle, UINT dpi) const {
    if (!adjustWindowRectExForDpi_ ||
        !adjustWindowRectExForDpi_(&client, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&client, style, FALSE, exStyle);
    return client;
}

PerMonitorAwareness::PerMonitorAwareness(const DpiFunctions& functions) : functions_(functions) {
    const auto set = functions_.setThreadDpiAwarenessContext_;
    if (!set)
        return;
    // Version 2 scales the frames and common controls too; Windows 10 before
    // 1703 knows only the first version.
    previous_ = set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (!previous_)
        previous_ = set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
}

PerMonitorAwareness::~PerMonitorAwareness() {
    if (previous_)
        functions_.setThreadDpiAwarenessContext_(previous_);
}

ComApartment::ComApartment()
    : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ComApartment::~ComApartment() {
    if (started_)
        CoUninitialize();
}

bool HighContrastChosen() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) != FALSE &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

} // namespace quimbel::ui::win32
