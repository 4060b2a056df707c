// A label: a Static window that keeps its class, text and styles for the
// system and screen readers, but draws its caption itself with the layer's
// caption layout, so its lines sit where they do in every back end.

#include "Win32Private.h"

#include <commctrl.h>

#include <climits>
#include <cmath>

namespace quimbel::ui::win32 {
namespace {

struct PlacedLine {
    std::wstring_view text;
    int baseline;
};

std::vector<PlacedLine> PlaceLines(HDC dc, std::span<const std::wstring_view> lines, int height) {
    const CaptionLayout layout = CaptionLayoutIn(dc, lines, height);
    std::vector<PlacedLine> placed;
    placed.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        placed.push_back({lines[i], static_cast<int>(std::lround(layout.firstBaseline +
                                                                 double(i) * layout.pitch))});
    return placed;
}

// A paint ended on every way out: an unended one would be asked for again
// and again.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { BeginPaint(window_, &paint_); }
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC Dc() const { return paint_.hdc; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
};

void Paint(HWND label, HDC dc) {
    RECT client{};
    GetClientRect(label, &client);
    // The window decides the colours, as it does for a stock label; with no
    // colour of its own the label shows its container's background.
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(label), WM_CTLCOLORSTATIC,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(label)));
    FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));

    const auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    const HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    const UINT previousAlign = SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
    const std::wstring text = TextOfWindow(label);
    const std::vector<std::wstring_view> lines = LinesOf(text);
    for (const PlacedLine& line : PlaceLines(dc, lines, client.bottom))
        if (!line.text.empty())
            TextOutW(dc, 0, line.baseline, line.text.data(),
                     static_cast<int>(std::min<std::size_t>(line.text.size(), INT_MAX)));
    SetTextAlign(dc, previousAlign);
    SetBkMode(dc, previousMode);
    if (previousFont)
        SelectObject(dc, previousFont);
}

LRESULT HandleLabelMessage(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        const PaintScope paint(label);
        if (paint.Dc())
            Paint(label, paint.Dc());
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(label, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        // Painting fills the background: erasing first would only flicker.
        return 1;
    case WM_SETTEXT: {
        // The stock label would draw the new text its own way at once.
        const LRESULT result = DefWindowProcW(label, message, wParam, lParam);
        InvalidateRect(label, nullptr, FALSE);
        return result;
    }
    }
    return DefSubclassProc(label, message, wParam, lParam);
}

HWND Create(const ControlSetup& setup) {
    // A label lets the mouse through to its container unless it notifies;
    // its tooltip needs the mouse.
    const DWORD notify = setup.plan.toolTip.empty() ? 0 : SS_NOTIFY;
    const HWND label = CreateChild(setup, L"Static", SS_LEFT | SS_NOPREFIX | notify, 0,
                                   WindowText(setup.plan.caption));
    if (label)
        Subclass<HandleLabelMessage>(label);
    return label;
}

} // namespace

const ControlClass LabelClass{
    .create = Create, .toWindowText = WindowText, .fromWindowText = LayerText};

} // namespace quimbel::ui::win32
