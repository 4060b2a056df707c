#pragma once

// Every rule that turns a window design into a window, worked out once and
// without any toolkit: which control sits in which container, in what stacking
// and tab order, with which caption lines, names and fonts, at what size on a
// screen of a given resolution. A back end only draws the plan.

#include "WindowDesign.h"

#include <cstddef>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quimbel::ui {

// A design that cannot be built: a control in an unknown frame, a name used
// twice.
class DesignError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

struct Rect {
    int left;
    int top;
    int width;
    int height;
    friend bool operator==(const Rect&, const Rect&) = default;
};

inline constexpr int TwipsPerInch = 1440;
// The resolution at which a design's twips are whole logical pixels.
inline constexpr int DesignDpi = 96;

// Twips to pixels at a resolution, rounded to the nearest pixel.
constexpr int PixelsAt(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = TwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / TwipsPerInch
                                        : -((-scaled + half) / TwipsPerInch));
}

// A rectangle in twips at a resolution. Its edges are scaled, not its size,
// so controls that meet in the design still meet on the screen.
constexpr Rect PixelsAt(const Rect& twips, int dpi) {
    const int left = PixelsAt(twips.left, dpi);
    const int top = PixelsAt(twips.top, dpi);
    return {left, top, PixelsAt(twips.left + twips.width, dpi) - left,
            PixelsAt(twips.top + twips.height, dpi) - top};
}

// Points to pixels at a resolution (72 points an inch), rounded.
constexpr int FontPixelsAt(int points, int dpi) { return (points * dpi + 36) / 72; }

inline constexpr int NoControl = -1;

struct ControlPlan {
    const ControlDesign* design;
    // Index of the frame holding it, or NoControl for the window itself.
    int container;
    // Relative to its container, in twips.
    Rect twips;
    // The caption's stored lines, without their line breaks.
    std::vector<std::string> captionLines;
    // The caption with "\n" between its lines.
    std::string caption{};
    std::string toolTip;
    // What screen readers, and real-window tests, call the control: a
    // field the caption of the label that names it on screen, any other
    // control its own text, as text (SpokenText).
    std::string accessibleName{};
    // Fields and buttons take the focus; labels and frames never do.
    bool takesFocus;
    // What a screen reader adds when asked: the tooltip, as a sighted user
    // sees it on hovering (readers leave out one that repeats the name).
    std::string accessibleDescription{};
    // The label that names a field on screen, else NoControl; and for that
    // label, the field it names.
    int labelledBy = NoControl;
    int labelFor = NoControl;

    std::string_view Name() const { return design->name; }
    ControlKind Kind() const { return design->kind; }
};

struct WindowPlan {
    const WindowDesign* design;
    std::string caption{};
    WindowRole role = WindowRole::Window;
    // What a dialog says as it opens: the text of its labels, a line each.
    std::string description;
    // The client area on the screen, in twips.
    Rect clientTwips;
    // In design order: an index into `controls` names a control everywhere.
    std::vector<ControlPlan> controls;
    // Controls that are windows of their own (all but labels), front first.
    // Labels are drawn on their container, behind all of these.
    std::vector<int> frontToBack;
    // Labels go behind: every control, front first, the windowed ones in
    // frontToBack's order and then the labels, the last designed at the very
    // back. A back end stacks each control in this order among the other
    // children of its container (raising them from the back of the list, or
    // placing each below the one before it); it is the only order to apply.
    std::vector<int> stacking;
    // The controls that take the focus, in tab order.
    std::vector<int> tabOrder;
    // Has the focus when the window opens; NoControl when nothing can.
    int firstFocus = NoControl;

    // The index of a control by its design name, or NoControl.
    int IndexOf(std::string_view name) const;
    // Its index, or a DesignError naming the window and the control.
    int IndexOfKind(std::string_view name, ControlKind kind) const;
};

WindowPlan PlanWindow(const WindowDesign& design);

// Where a window first opens: at its design position measured from the
// top-left of the work area, moved back inside it where it would stick out.
Rect FirstPosition(const Rect& client, const Rect& workArea);

// The families of a font list that are installed, in their order. With none
// installed the list stays whole, for the toolkit's own fallback.
std::vector<std::string> InstalledFamilies(std::span<const char* const> families,
                                           const std::function<bool(std::string_view)>& installed);

// The window's default face: a Simplified Chinese user-interface font named
// explicitly, since left to itself a font matcher may pick a Japanese one
// whose glyph shapes differ.
std::span<const char* const> DefaultFontFamilies();

// How caption lines sit in a label: each line gets a slot of `pitch` pixels
// (the font's line spacing, or less when that would overflow the label), with
// the ink of all lines centred in a slot. inkTop and inkBottom are relative to
// the baseline, y growing downwards, as the toolkits measure them.
struct CaptionLayout {
    double pitch;
    double firstBaseline;
};
CaptionLayout LayOutCaption(double lineSpacing, double inkTop, double inkBottom,
                            std::size_t lineCount, int height);

// Captions take no access keys: an "&" in a caption is a character, shown as
// it is and read back exactly as it was set, on every back end. Toolkits take
// "&" before a letter as marking an access key in the captions of buttons and
// frames (Win32 and Qt), and of a label tied to the field it names (Qt; Win32
// labels have SS_NOPREFIX instead): CaptionMayMarkAccessKey says which kinds.
// A back end gives such a toolkit the caption with each "&" doubled, which it
// shows as one "&" and takes no access key from, and halves what the toolkit
// holds when it reads the caption back.
bool CaptionMayMarkAccessKey(ControlKind kind);
std::string DoubleAmpersands(std::string_view caption);
// "&&" is one "&"; a lone "&" stays as it is.
std::string HalveAmpersands(std::string_view shown);

// Stored captions separate lines with CR LF.
std::vector<std::string> CaptionLines(std::string_view caption);

// Caption lines as a screen reader should speak them: the lines that a
// layout broke joined again, without blank lines or spaces at either end, and
// without splitting a word: a space between two lines only where both sides
// are Latin letters or digits.
std::string SpokenText(const std::vector<std::string>& lines);

// --- Fonts that fit their captions ------------------------------------------
//
// A window has one font for all controls that have none of their own: the
// window font, WindowFontPoints at first (as Windows sets its own dialogs) and
// a pixel at a time smaller while any of those controls' captions does not
// fit, but not below MinimumFontPoints. A control with a font of its own
// starts at its design's points and steps down the same way, for its own
// caption alone. Faces differ between machines (a stand-in for a missing face
// may be wider or reach further up), so the size is settled by measuring, and
// the back end does only that: FitFonts asks it for the metrics of a font,
// FontPixelsAt of a size, at the resolution the controls are laid out in.
//
// A back end calls FitFonts(plan, dpi, measure) when it builds a window (and
// again when the window moves to a screen of another resolution), with a
// measuring function that makes the asked font as it will make it for the
// controls and reads its metrics; then it makes the window font at
// windowPixels in DefaultFontFamilies() and each own font at its ownPixels.
// The sizes asked for come down a pixel at a time, the same font for several
// controls in turn: a measurer may keep the last font it made.

inline constexpr int WindowFontPoints = 9;
inline constexpr int MinimumFontPoints = 6;

// A font to measure: its families in order of preference (the back end uses
// the installed ones, as it does when it makes the font), its size in pixels
// (the character height, without internal leading) and its weight.
struct FontRequest {
    std::span<const char* const> families;
    int pixels;
    bool bold;
};

// One caption line measured in a font: its advance width, and how far its ink
// reaches above (negative) and below the baseline, y growing downwards. A line
// without ink (empty, or only blanks) has inkTop == inkBottom.
struct LineMeasure {
    double advance;
    double inkTop;
    double inkBottom;
};

// What FitFonts needs to know of a font: its height (ascent plus descent),
// the distance from one line's baseline to the next (height plus external
// leading), and the caption lines asked for, in their order.
struct FontMeasure {
    double height;
    double lineSpacing;
    std::vector<LineMeasure> lines;
};

// The back end's one part: measures the given lines in a font.
using MeasureFont =
    std::function<FontMeasure(const FontRequest& font, std::span<const std::string> lines)>;

// Whether a caption, measured in a font, fits a control of the kind of the
// given size in pixels at `dpi`:
// - label: each line within the width; the ink of every line within the
//   height, laid out as LayOutCaption places it; and lines apart (the ink of
//   all lines no taller than the pitch);
// - button: the lines, a font height each, and the widest line inside a
//   margin of 4 pixels at 96 dots an inch on every side (border and focus
//   rectangle);
// - frame: the title, one font height, within the frame's height and its
//   widest line within the width less an inset of 8 pixels at 96 dots an inch
//   a side;
// - text box: two lines of text, a font height each, inside edges of 2
//   pixels at 96 dots an inch top and bottom.
bool CaptionFits(ControlKind kind, const FontMeasure& font, int width, int height, int dpi);

// The sizes, in pixels, a window's fonts end at.
struct FittedFonts {
    // For the controls without a font of their own.
    int windowPixels;
    // By control index: the pixels of a control's own font, or 0 for one that
    // has the window font.
    std::vector<int> ownPixels;
};

// Settles the window font (families DefaultFontFamilies(), not bold) and each
// own font (its design's families and weight) at `dpi`, the controls sized by
// PixelsAt(control.twips, dpi). Each control's caption lines are measured, a
// text box's too (it needs its two lines whatever it holds).
FittedFonts FitFonts(const WindowPlan& plan, int dpi, const MeasureFont& measure);

// --- Long lines in pieces ----------------------------------------------------
//
// A long line is shown in pieces of about a given length (the toolkits'
// fields slow down badly on one very long paragraph). A piece never ends
// where the user sees one character: inside a surrogate pair, before a
// combining mark or another character that extends the one before it, or
// just after a zero-width joiner. What extends a character here: combining
// diacritical marks (U+0300-036F, 1AB0-1AFF, 1DC0-1DFF, and those for symbols
// 20D0-20FF and half marks FE20-FE2F), Cyrillic, Hebrew and Arabic marks
// (U+0483-0489, 0591-05BD, 064B-065F), the kana voicing marks (U+3099-309A),
// variation selectors (U+FE00-FE0F, E0100-E01EF), the zero-width joiner
// (U+200D) and emoji skin-tone modifiers (U+1F3FB-1F3FF). Other scripts'
// clusters (Indic vowel signs, Hangul jamo, flag pairs) may be cut, and then
// show as two pieces of one character, nothing of the text lost.

// Whether a code point extends the character before it, as listed above.
bool ExtendsCharacter(char32_t codePoint);

// Whether a piece of `line` (UTF-16: char16_t, or wchar_t where it is 16 bits
// as on Windows) may end before its unit `at`. Its start and end always may.
template <class Unit> bool MayEndPieceAt(std::basic_string_view<Unit> line, std::size_t at) {
    static_assert(sizeof(Unit) == 2, "UTF-16 text");
    if (at == 0 || at >= line.size())
        return true;
    const char32_t before = static_cast<char16_t>(line[at - 1]);
    char32_t next = static_cast<char16_t>(line[at]);
    const bool highBefore = before >= 0xD800 && before <= 0xDBFF;
    if (next >= 0xDC00 && next <= 0xDFFF && highBefore)
        return false;
    if (before == 0x200D)
        return false;
    if (next >= 0xD800 && next <= 0xDBFF && at + 1 < line.size()) {
        const char32_t low = static_cast<char16_t>(line[at + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF)
            next = 0x10000 + ((next - 0xD800) << 10) + (low - 0xDC00);
    }
    return !ExtendsCharacter(next);
}

// A back end cuts a line by walking it: from start 0, each piece ends at
// PieceEnd(line, start, length), where the next one starts.
//
// Where the piece of `line` that starts at `start` ends, for pieces of
// `length` units: at start + length, or the nearest place before it where a
// piece may end; past it, at the first such place, only when there is none
// within the piece; at the line's end when that comes first.
template <class Unit>
std::size_t PieceEnd(std::basic_string_view<Unit> line, std::size_t start, std::size_t length) {
    const std::size_t end = start + length;
    if (end >= line.size())
        return line.size();
    for (std::size_t at = end; at > start; --at)
        if (MayEndPieceAt(line, at))
            return at;
    std::size_t at = end + 1;
    while (!MayEndPieceAt(line, at))
        ++at;
    return at;
}

} // namespace quimbel::ui
