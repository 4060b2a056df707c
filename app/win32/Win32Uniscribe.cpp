#include "Win32Uniscribe.h"

#include <algorithm>

namespace quimbel::ui::win32 {

void UniscribeAnalysis::Analyse(std::wstring_view line, std::uint8_t* flags) {
    if (line.empty())
        return;
    const int count = static_cast<int>(line.size());
    // One item a unit at the most, and the end ScriptItemize marks after them.
    items_.resize(line.size() + 1);
    attributes_.assign(line.size(), SCRIPT_LOGATTR{});
    SCRIPT_CONTROL control{};
    SCRIPT_STATE state{};
    int itemCount = 0;
    bool analysed = SUCCEEDED(
        ScriptItemize(line.data(), count, count + 1, &control, &state, items_.data(), &itemCount));
    for (int item = 0; analysed && item < itemCount; ++item) {
        const int from = items_[static_cast<std::size_t>(item)].iCharPos;
        const int to = items_[static_cast<std::size_t>(item) + 1].iCharPos;
        analysed = SUCCEEDED(ScriptBreak(line.data() + from, to - from,
                                         &items_[static_cast<std::size_t>(item)].a,
                                         attributes_.data() + from));
    }
    // ScriptBreak sees one item, so where a row may break at an item's first
    // unit depends on what comes before it: asked again across the join, a
    // few units of each side, with the later item's analysis (Wine's answers
    // no break at any item's start otherwise: "17 in", "abc中").
    constexpr int JoinUnits = 8;
    for (int item = 1; analysed && item < itemCount; ++item) {
        const int at = items_[static_cast<std::size_t>(item)].iCharPos;
        const int from =
            std::max(items_[static_cast<std::size_t>(item) - 1].iCharPos, at - JoinUnits);
        const int to =
            std::min(items_[static_cast<std::size_t>(item) + 1].iCharPos, at + JoinUnits);
        SCRIPT_LOGATTR join[2 * JoinUnits]{};
        if (SUCCEEDED(ScriptBreak(line.data() + from, to - from,
                                  &items_[static_cast<std::size_t>(item)].a, join)))
            attributes_[static_cast<std::size_t>(at)].fSoftBreak = join[at - from].fSoftBreak;
    }
    if (!analysed) {
        // Uniscribe out of memory: a caret stop at each unit and a break after
        // blanks, so that the text still shows and edits.
        for (std::size_t at = 0; at < line.size(); ++at) {
            const bool blank = line[at] == L' ' || line[at] == L'\t';
            const bool afterBlank = at > 0 && (line[at - 1] == L' ' || line[at - 1] == L'\t');
            flags[at] = static_cast<std::uint8_t>(StopBefore | (blank ? Blank : 0) |
                                                  (afterBlank && !blank ? BreakBefore : 0));
        }
        return;
    }
    // A nonspacing mark never starts a character the caret could stand
    // before: Windows' Uniscribe says so through fCharStop already, Wine's
    // does not for Thai (ก|ิ), so Windows' character types say it too.
    types_.assign(line.size(), 0);
    if (!GetStringTypeW(CT_CTYPE3, line.data(), count, types_.data()))
        types_.assign(line.size(), 0);
    for (std::size_t at = 0; at < line.size(); ++at) {
        const SCRIPT_LOGATTR& attributes = attributes_[at];
        const bool stop = attributes.fCharStop && !(types_[at] & C3_NONSPACING);
        flags[at] = static_cast<std::uint8_t>(
            (attributes.fSoftBreak ? BreakBefore : 0) | (attributes.fWhiteSpace ? Blank : 0) |
            (stop ? StopBefore : 0) | (attributes.fWordStop ? WordBefore : 0));
    }
}

} // namespace quimbel::ui::win32

namespace quimbel::ui::win32 {

namespace {

constexpr DWORD ShapingFlags = SSA_GLYPHS | SSA_FALLBACK | SSA_LINK | SSA_TAB;

bool IsSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

} // namespace

// --- Character widths ------------------------------------------------------

FontWidths::FontWidths() : dc_(CreateCompatibleDC(nullptr)) {}

FontWidths::~FontWidths() {
    if (dc_ && previous_)
        SelectObject(dc_.get(), previous_);
}

void FontWidths::Use(HFONT font) {
    const HGDIOBJ chosen = font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT);
    const HGDIOBJ before = SelectObject(dc_.get(), chosen);
    if (!previous_)
        previous_ = before;
    std::fill(kinds_.begin(), kinds_.end(), std::uint8_t{0});
}

int FontWidths::AverageLatinWidth() {
    static constexpr wchar_t Letters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    SIZE size{};
    if (!GetTextExtentPoint32W(dc_.get(), Letters, 52, &size))
        return 0;
    // Rounded, as Windows rounds it.
    return (size.cx / 26 + 1) / 2;
}

std::uint8_t FontWidths::KindOf(wchar_t unit) {
    if (!kinds_[unit]) {
        const auto first = static_cast<wchar_t>(unit & 0xFF00);
        wchar_t block[0x100];
        WORD glyphs[0x100];
        for (unsigned i = 0; i < 0x100; ++i)
            block[i] = static_cast<wchar_t>(first + i);
        const bool asked = GetGlyphIndicesW(dc_.get(), block, 0x100, glyphs,
                                            GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR;
        for (unsigned i = 0; i < 0x100; ++i) {
            const wchar_t each = block[i];
            std::uint8_t kind = Simple;
            // Control characters have no glyphs and need none.
            if (each >= L' ' && asked && glyphs[i] == 0xFFFF)
                kind |= Lacking;
            if (IsSurrogate(each) || ScriptIsComplex(&each, 1, SIC_COMPLEX) == S_OK)
                kind |= Complex;
            kinds_[first + i] = kind;
        }
    }
    return kinds_[unit];
}

bool FontWidths::Lacks(wchar_t unit) { return (KindOf(unit) & Lacking) != 0; }

bool FontWidths::NeedsShaping(std::wstring_view row) {
    for (const wchar_t unit : row)
        if (KindOf(unit) & (Lacking | Complex))
            return true;
    return false;
}

int FontWidths::Shaped(std::wstring_view row) {
    if (!NeedsShaping(row))
        return -1;
    const ShapedRow shaped(dc_.get(), row, Tab());
    return shaped ? shaped.Width() : -1;
}

void FontWidths::Measure(char32_t first, std::size_t count, int* widths) {
    // One character as Windows draws it alone: a mark that joins the one
    // before it takes no room of its own, anything else from the font that
    // has it.
    const auto alone = [&](const wchar_t* units, int length) {
        WORD type = 0;
        if (length == 1 && GetStringTypeW(CT_CTYPE3, units, 1, &type) && (type & C3_NONSPACING))
            return 0;
        const ShapedRow shaped(dc_.get(),
                               std::wstring_view(units, static_cast<std::size_t>(length)), Tab());
        if (shaped)
            return shaped.Width();
        SIZE size{};
        return GetTextExtentPoint32W(dc_.get(), units, length, &size) ? static_cast<int>(size.cx)
                                                                      : 0;
    };
    if (first < 0x10000 &&
        GetCharWidth32W(dc_.get(), first, first + static_cast<UINT>(count) - 1, widths)) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto unit = static_cast<wchar_t>(first + i);
            if (unit >= L' ' && !IsSurrogate(unit) && Lacks(unit))
                widths[i] = alone(&unit, 1);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t codePoint = first + static_cast<char32_t>(i);
        wchar_t units[2];
        int length = 1;
        if (codePoint >= 0x10000) {
            units[0] = static_cast<wchar_t>(0xD800 + ((codePoint - 0x10000) >> 10));
            units[1] = static_cast<wchar_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
            length = 2;
        } else {
            units[0] = static_cast<wchar_t>(codePoint);
        }
        widths[i] = alone(units, length);
    }
}

// --- Rows shaped whole ---------------------------------------------------------

ShapedRow::ShapedRow(HDC dc, std::wstring_view row, int tab) {
    if (row.empty() || !dc)
        return;
    length_ = static_cast<int>(row.size());
    int stop = tab;
    // Tabs every `tab` pixels from the row's start, as its advances count them.
    SCRIPT_TABDEF tabs{1, 4, &stop, 0};
    if (FAILED(ScriptStringAnalyse(dc, row.data(), length_, length_ * 3 / 2 + 16, -1, ShapingFlags,
                                   0, nullptr, nullptr, nullptr, &tabs, nullptr, &analysis_)))
        analysis_ = nullptr;
}

ShapedRow::~ShapedRow() {
    if (analysis_)
        ScriptStringFree(&analysis_);
}

int ShapedRow::Width() const {
    const SIZE* size = analysis_ ? ScriptString_pSize(analysis_) : nullptr;
    return size ? static_cast<int>(size->cx) : 0;
}

int ShapedRow::XOf(std::size_t position) const {
    if (!analysis_)
        return 0;
    int x = 0;
    const bool end = position >= static_cast<std::size_t>(length_);
    const int at = end ? length_ - 1 : static_cast<int>(position);
    if (FAILED(ScriptStringCPtoX(analysis_, at, end ? TRUE : FALSE, &x)))
        return 0;
    return x;
}

std::size_t ShapedRow::PositionAt(int x, bool& trailing) const {
    trailing = false;
    int at = 0;
    int half = 0;
    if (!analysis_ || FAILED(ScriptStringXtoCP(analysis_, x, &at, &half)))
        return 0;
    // Before the row's start, or past its end, as Uniscribe says.
    if (at < 0)
        return 0;
    if (at >= length_)
        return static_cast<std::size_t>(length_);
    trailing = half != 0;
    return static_cast<std::size_t>(at);
}

void ShapedRow::Draw(int x, int y, std::size_t from, std::size_t to) const {
    if (!analysis_)
        return;
    const bool selection = from < to;
    ScriptStringOut(analysis_, x, y, 0, nullptr, selection ? static_cast<int>(from) : 0,
                    selection ? static_cast<int>(to) : 0, FALSE);
}

} // namespace quimbel::ui::win32
