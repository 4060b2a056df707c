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
