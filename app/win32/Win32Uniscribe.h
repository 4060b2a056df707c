#pragma once

// The field's questions of a text answered by Windows' own text services
// (Uniscribe, usp10.dll): where a row may break and where the caret may stop,
// how wide a row is and how it is drawn.

#include "Win32FieldModel.h"
#include "Win32Support.h"

#include <windows.h>

#include <usp10.h>

#include <vector>

namespace quimbel::ui::win32 {

// Items the line as ScriptItemize does, then asks ScriptBreak of each item
// whole, as its documentation asks.
class UniscribeAnalysis final : public TextAnalysis {
public:
    void Analyse(std::wstring_view line, std::uint8_t* flags) override;

private:
    std::vector<SCRIPT_ITEM> items_;
    std::vector<SCRIPT_LOGATTR> attributes_;
    std::vector<WORD> types_;
};

// Character widths in the field's font, asked of a device context of its
// own. A character the font lacks is measured as Windows draws it, from a
// fallback or linked font; a row that needs more than its characters'
// advances (a complex script, a surrogate pair, a character the font lacks)
// is measured shaped whole.
class FontWidths final : public CharacterWidths {
public:
    FontWidths();
    ~FontWidths() override;
    FontWidths(const FontWidths&) = delete;
    FontWidths& operator=(const FontWidths&) = delete;

    HDC Dc() const { return dc_.get(); }
    void Use(HFONT font);
    // The average width of the Latin letters, as a stock edit takes it for
    // its tab stops (whatever a Chinese font gives as its average).
    int AverageLatinWidth();
    // Whether the font has no glyph for `unit`, asked a block of 256 at a time.
    bool Lacks(wchar_t unit);
    // Whether a row is drawn shaped whole rather than character by character:
    // whether it holds a unit of a complex script (as ScriptIsComplex says of
    // it), of a surrogate pair, or that the font lacks.
    bool NeedsShaping(std::wstring_view row);
    int Shaped(std::wstring_view row) override;

private:
    void Measure(char32_t first, std::size_t count, int* widths) override;

    UniqueDc dc_;
    HGDIOBJ previous_ = nullptr;
    // By unit, asked a block of 256 at a time: 0 not asked yet, else Simple
    // and whether the font lacks it or it is of a complex script (or half
    // of a surrogate pair).
    enum Kind : std::uint8_t { Simple = 1, Lacking = 2, Complex = 4 };
    std::uint8_t KindOf(wchar_t unit);
    std::vector<std::uint8_t> kinds_ = std::vector<std::uint8_t>(0x10000, 0);
};

// A row analysed, shaped and placed whole by Uniscribe in a device
// context's font, with fallback fonts and font linking: its runs joined and
// in their order, right to left where they read so.
class ShapedRow {
public:
    ShapedRow(HDC dc, std::wstring_view row, int tab);
    ~ShapedRow();
    ShapedRow(const ShapedRow&) = delete;
    ShapedRow& operator=(const ShapedRow&) = delete;

    // Whether Uniscribe could shape it.
    explicit operator bool() const { return analysis_ != nullptr; }
    int Width() const;
    // Where the caret stands before the unit at `position` (its leading
    // edge; at the row's end, the last one's trailing edge).
    int XOf(std::size_t position) const;
    // The unit whose glyphs `x` falls on, and whether on its trailing half.
    std::size_t PositionAt(int x, bool& trailing) const;
    // Drawn with its left at x, top at y, `from` to `to` selected (in one
    // pass: a selection never reshapes the run).
    void Draw(int x, int y, std::size_t from, std::size_t to) const;

private:
    SCRIPT_STRING_ANALYSIS analysis_ = nullptr;
    int length_ = 0;
};

} // namespace quimbel::ui::win32
