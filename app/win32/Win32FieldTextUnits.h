#pragma once

// A field's text as a screen reader walks it: characters, words, lines and
// paragraphs, each from what the field itself says about its text (the caret
// stops and word starts its keys use, the rows it shows), so that a reader
// and a sighted user meet the same units. Plain C++: a text range is two
// positions in the field's text, and what moves them is checked without a
// window.

#include <cstddef>
#include <string_view>

namespace quimbel::ui::win32 {

// The units a reader moves by, from the smallest; the same values as UI
// Automation's TextUnit. A field's text has one font throughout, so Format
// is the whole text, as Page is: it has no pages.
enum class TextUnit { Character, Format, Word, Line, Paragraph, Page, Document };

// What the field knows of its text. Positions count UTF-16 units.
class FieldTextSource {
public:
    virtual std::wstring_view Text() const = 0;
    // As the caret moves by a character: the next and previous stop, the
    // text's end and start at most.
    virtual std::size_t StopAfter(std::size_t position) const = 0;
    virtual std::size_t StopBefore(std::size_t position) const = 0;
    // As Ctrl+Right and Ctrl+Left move: the next word's start, and this or the
    // previous word's start.
    virtual std::size_t WordStartAfter(std::size_t position) const = 0;
    virtual std::size_t WordStartBefore(std::size_t position) const = 0;
    // The rows shown: how many, where each starts, and the row that holds
    // `position` (at a wrapped row's end, the next one).
    virtual std::size_t RowCount() const = 0;
    virtual std::size_t RowStart(std::size_t row) const = 0;
    virtual std::size_t RowOf(std::size_t position) const = 0;

protected:
    ~FieldTextSource() = default;
};

// Two positions in the text, start never after end.
struct TextRangeSpan {
    std::size_t start = 0;
    std::size_t end = 0;

    bool operator==(const TextRangeSpan&) const = default;
};

// Where units of a kind start and end in a text.
class FieldTextUnits {
public:
    FieldTextUnits(const FieldTextSource& source, TextUnit unit);

    // The first boundary after `position`, or the text's end; the last one
    // before it, or the text's start.
    std::size_t Next(std::size_t position) const;
    std::size_t Previous(std::size_t position) const;
    // Whether a unit starts at `position`: the text's end only where an
    // empty last line or paragraph begins there, or the text is empty.
    bool StartsUnit(std::size_t position) const;
    // The unit that holds `position`; at the text's end, the last one.
    TextRangeSpan Enclosing(std::size_t position) const;

    // What a reader's range does, as UI Automation's text ranges do it.
    // Whole units stay as they are; any other range becomes the unit that
    // holds its start.
    TextRangeSpan Expand(TextRangeSpan range) const;
    // By `count` units (backwards when negative): an empty range as a caret
    // moves, any other one unit at a time, never to the text's end unless a
    // unit starts there. How many it moved; a range that cannot move stays.
    int Move(TextRangeSpan& range, int count) const;
    // One end by `count` units; the other one follows where they would cross.
    int MoveEndpoint(TextRangeSpan& range, bool start, int count) const;

private:
    bool IsBoundary(std::size_t position) const;
    // Where a unit that starts at `position` ends.
    std::size_t EndOfUnitAt(std::size_t position) const;

    const FieldTextSource& source_;
    std::wstring_view text_;
    TextUnit unit_;
};

// A range kept within a text that may have become shorter since it was made.
TextRangeSpan ClampedToText(TextRangeSpan range, std::size_t length);

} // namespace quimbel::ui::win32
