#pragma once

// Inside the Win32 back end: one control class per kind of control (a file
// each), text at the UTF-16 edge, fonts and caption measuring.

#include "Win32Support.h"
#include "WindowPlan.h"

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quimbel::ui::win32 {

// Control identifiers start above IDOK and IDCANCEL, which the dialog keys
// send for Enter and Esc.
inline constexpr int FirstControlId = 1000;

struct ControlSetup {
    HINSTANCE instance;
    // The top-level window, or the frame that holds the control.
    HWND parent;
    int id;
    const ControlPlan& plan;
    AccessibilityServices& accessibility;
    // Where it is made, in its parent's pixels; the window moves it later
    // where this is not yet known.
    Rect place{};
};

// What differs between kinds of control. `tabbedInto` may be null, where the
// kind needs nothing of its own.
struct ControlClass {
    // The child window, with its designed caption, not yet placed.
    HWND (*create)(const ControlSetup& setup);
    // The window text that shows a text of the layer, and back.
    std::wstring (*toWindowText)(std::string_view text);
    std::string (*fromWindowText)(std::wstring_view text);
    // The control got the focus by Tab or Shift+Tab.
    void (*tabbedInto)(HWND control) = nullptr;
};

extern const ControlClass LabelClass;
extern const ControlClass TextBoxClass;
extern const ControlClass ButtonClass;
extern const ControlClass FrameClass;

const ControlClass& ClassOf(ControlKind kind);

// --- Controls (Win32Control.cpp) ----------------------------------------

// A control's child window, visible within its hidden
// parent, clipped by the controls stacked above it.
HWND CreateChild(const ControlSetup& setup, const wchar_t* className, DWORD style, DWORD exStyle,
                 const std::wstring& text);

// --- Screen readers (Win32Accessibility.cpp) ------------------------------

// IAccessible's interface id, our own: with MinGW-w64 the import library's
// can resolve to an import thunk, which no query would match.
inline constexpr GUID AccessibleInterfaceId{
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What a window or control says to a screen reader: an MSAA role
// (ROLE_SYSTEM_...), a name and a description (none when empty).
struct AccessibleText {
    LONG role;
    std::wstring name;
    std::wstring description;
};
AccessibleText AccessibleTextOf(const ControlPlan& control);
AccessibleText AccessibleTextOf(const WindowPlan& window);
// The answer to WM_GETOBJECT: for the client area, an object that says
// `text`; nothing for other objects, which the stock handling answers.
std::optional<LRESULT> AnswerGetObject(AccessibilityServices& services, HWND window, WPARAM wParam,
                                       LPARAM lParam, const AccessibleText& text);
// The control says what its plan says, whatever its kind's own handling.
void MakeAccessible(HWND control, const ControlPlan& plan, AccessibilityServices& services);

// --- Text at the edge (Win32Text.cpp) ------------------------------------

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
// Layer text ("\n" line breaks, UTF-8) as window text ("\r\n", UTF-16), and back.
std::wstring WindowText(std::string_view text);
std::string LayerText(std::wstring_view text);
// Window text and back for buttons and frames, which would take "&x" for an
// access key: written "&&", an "&" shows as typed.
std::wstring CaptionWindowText(std::string_view text);
std::string CaptionLayerText(std::wstring_view text);
// `text` as a field holds it: every kind of line break ("\n", "\r\n",
// "\r\r\n", a carriage return alone) as "\r\n".
std::wstring FieldText(std::wstring_view text);
// A window's whole text, however long.
std::wstring TextOfWindow(HWND window);
// The lines of a window text.
std::vector<std::wstring_view> LinesOf(std::wstring_view text);

// --- The program's icon (Win32Icon.cpp) ----------------------------------

// The program's icon in its resources.
inline constexpr int IconResource = 1;

// The program's icon at a size: its image of that size, else one scaled down
// from a larger image where Windows can (Vista on), never up from a smaller.
UniqueIcon LoadProgramIcon(HINSTANCE instance, int width, int height);

// --- Fonts (Win32Fonts.cpp) ----------------------------------------------

// Whether Windows has a font family, compared without regard to case; each
// answer is looked up once.
class FontFamilies {
public:
    bool Has(std::string_view family) const;

private:
    mutable std::map<std::wstring, bool> known_;
};

// The first installed of a list of families, else the first named.
std::wstring FirstInstalled(std::span<const char* const> families, const FontFamilies& installed);

UniqueFont MakeFont(const std::wstring& face, int pixels, bool bold);

// The font at `pixels`, or a pixel at a time smaller until `fits` holds with
// it selected into a device context, but not below `minimumPixels`.
// Measures fonts as the window will make them: their height, line spacing
// and each line's advance and ink. The last font made is kept for the next
// question, which is mostly about the same font.
class FontMeasurer {
public:
    explicit FontMeasurer(const FontFamilies& installed);
    ~FontMeasurer();
    FontMeasurer(const FontMeasurer&) = delete;
    FontMeasurer& operator=(const FontMeasurer&) = delete;

    FontMeasure operator()(const FontRequest& font, std::span<const std::string> lines);

private:
    const FontFamilies& installed_;
    UniqueDc dc_;
    UniqueFont font_;
    HGDIOBJ previous_ = nullptr;
    std::wstring face_;
    int pixels_ = 0;
    bool bold_ = false;
};

// How far a line's ink reaches above (negative) and below its baseline.
struct Ink {
    double top;
    double bottom;
};
Ink InkOf(HDC dc, std::wstring_view line);

// The layer's caption layout, in the font selected into `dc`.
CaptionLayout CaptionLayoutIn(HDC dc, std::span<const std::wstring_view> lines, int height);

// The text's advance width in the font selected into `dc`.
int TextWidth(HDC dc, std::wstring_view text);

} // namespace quimbel::ui::win32
