// A window at a screen resolution: its size and place, the controls'
// rectangles and fonts, and the icons.

#include "Win32Window.h"

#include "Win32Private.h"
#include "Win32WindowSystem.h"

#include <commctrl.h>

namespace quimbel::ui {

using win32::ClassOf;
using win32::UniqueFont;
using win32::UniqueIcon;

void Win32Window::LayOut(UINT dpi) {
    dpi_ = dpi;
    UniqueFont windowFont;
    std::vector<UniqueFont> ownFonts(plan_.controls.size());
    MakeFonts(windowFont, ownFonts);

    for (std::size_t i = 0; i < plan_.controls.size(); ++i) {
        const Rect rect = PixelsAt(plan_.controls[i].twips, static_cast<int>(dpi));
        const HWND control = Control(static_cast<int>(i));
        SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        const HFONT font = ownFonts[i] ? ownFonts[i].get() : windowFont.get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    toolTips_.SetFont(windowFont.get());
    for (std::size_t i = 0; i < plan_.controls.size(); ++i)
        if (plan_.controls[i].Kind() == ControlKind::Frame && !plan_.controls[i].toolTip.empty())
            toolTips_.Follow(Control(static_cast<int>(i)));
    // The fonts of the previous resolution go once nothing uses them.
    windowFont_.swap(windowFont);
    ownFonts_.swap(ownFonts);
    SetIcons();
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Window::MakeFonts(UniqueFont& windowFont, std::vector<UniqueFont>& ownFonts) {
    const win32::FontFamilies& families = system_.Families();
    win32::FontMeasurer measurer(families);
    const FittedFonts fitted =
        FitFonts(plan_, static_cast<int>(dpi_),
                 [&](const FontRequest& font, std::span<const std::string> lines) {
                     return measurer(font, lines);
                 });
    windowFont = win32::MakeFont(win32::FirstInstalled(DefaultFontFamilies(), families),
                                 fitted.windowPixels, false);
    for (std::size_t i = 0; i < plan_.controls.size(); ++i)
        if (const FontDesign* design = plan_.controls[i].design->font)
            ownFonts[i] = win32::MakeFont(win32::FirstInstalled(design->families, families),
                                          fitted.ownPixels[i], design->bold);
}

void Win32Window::SetIcons() {
    const win32::DpiFunctions& dpi = system_.DpiSupport();
    UniqueIcon small =
        win32::LoadProgramIcon(system_.Instance(), dpi.SystemMetric(SM_CXSMICON, dpi_),
                               dpi.SystemMetric(SM_CYSMICON, dpi_));
    UniqueIcon big = win32::LoadProgramIcon(system_.Instance(), dpi.SystemMetric(SM_CXICON, dpi_),
                                            dpi.SystemMetric(SM_CYICON, dpi_));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    smallIcon_.swap(small);
    bigIcon_.swap(big);
}

SIZE Win32Window::ClientSizeAt(UINT dpi) const {
    return {PixelsAt(plan_.clientTwips.width, static_cast<int>(dpi)),
            PixelsAt(plan_.clientTwips.height, static_cast<int>(dpi))};
}

void Win32Window::PlaceAtFirstPosition() {
    SetWindowRect(FirstWindowRect());
    MakeClientExact();
}

RECT Win32Window::FirstWindowRect() const {
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const int dpi = static_cast<int>(dpi_);
    const SIZE size = ClientSizeAt(dpi_);
    const Rect placed =
        FirstPosition({PixelsAt(plan_.clientTwips.left, dpi), PixelsAt(plan_.clientTwips.top, dpi),
                       size.cx, size.cy},
                      {work.left, work.top, work.right - work.left, work.bottom - work.top});
    return system_.DpiSupport().WindowRectForClient(
        {placed.left, placed.top, placed.left + placed.width, placed.top + placed.height},
        win32::FormStyle, win32::FormExStyle, dpi_);
}

void Win32Window::SetWindowRect(const RECT& rect) {
    SetWindowPos(Handle(), nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::MakeClientExact() {
    RECT client{};
    RECT frame{};
    if (IsIconic(Handle()) || !GetClientRect(Handle(), &client) || !GetWindowRect(Handle(), &frame))
        return;
    const SIZE wanted = ClientSizeAt(dpi_);
    const int wider = wanted.cx - client.right;
    const int taller = wanted.cy - client.bottom;
    if (wider != 0 || taller != 0)
        SetWindowPos(Handle(), nullptr, 0, 0, frame.right - frame.left + wider,
                     frame.bottom - frame.top + taller, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace quimbel::ui
