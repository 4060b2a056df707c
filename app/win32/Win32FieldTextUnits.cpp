#include "Win32FieldTextUnits.h"

#include <algorithm>

namespace quimbel::ui::win32 {

namespace {

constexpr std::wstring_view LineBreak = L"\r\n";

} // namespace

FieldTextUnits::FieldTextUnits(const FieldTextSource& source, TextUnit unit)
    : source_(source), text_(source.Text()), unit_(unit) {}

std::size_t FieldTextUnits::Next(std::size_t position) const {
    const std::size_t length = text_.size();
    if (position >= length)
        return length;
    std::size_t next = length;
    switch (unit_) {
    case TextUnit::Character:
        next = source_.StopAfter(position);
        break;
    case TextUnit::Word:
        next = source_.WordStartAfter(position);
        break;
    case TextUnit::Line: {
        const std::size_t row = source_.RowOf(position);
        if (row + 1 < source_.RowCount())
            next = source_.RowStart(row + 1);
        break;
    }
    case TextUnit::Paragraph: {
        // From one before: a position between "\r" and "\n" is still in the
        // paragraph that the break ends.
        const std::size_t at = text_.find(LineBreak, position > 0 ? position - 1 : 0);
        if (at != std::wstring_view::npos)
            next = at + LineBreak.size();
        break;
    }
    case TextUnit::Format:
    case TextUnit::Page:
    case TextUnit::Document:
        break;
    }
    // Always forward, so that no walk can stand still.
    return std::clamp(next, position + 1, length);
}

std::size_t FieldTextUnits::Previous(std::size_t position) const {
    position = std::min(position, text_.size());
    if (position == 0)
        return 0;
    std::size_t previous = 0;
    switch (unit_) {
    case TextUnit::Character:
        previous = source_.StopBefore(position);
        break;
    case TextUnit::Word:
        previous = source_.WordStartBefore(position);
        break;
    case TextUnit::Line: {
        const std::size_t row = source_.RowOf(position);
        const std::size_t start = source_.RowStart(row);
        previous = start < position ? start : row > 0 ? source_.RowStart(row - 1) : 0;
        break;
    }
    case TextUnit::Paragraph:
        // A break that ends before `position`: it starts three or more before.
        if (position >= LineBreak.size() + 1) {
            const std::size_t at = text_.rfind(LineBreak, position - LineBreak.size() - 1);
            if (at != std::wstring_view::npos)
                previous = at + LineBreak.size();
        }
        break;
    case TextUnit::Format:
    case TextUnit::Page:
    case TextUnit::Document:
        break;
    }
    return std::min(previous, position - 1);
}

bool FieldTextUnits::IsBoundary(std::size_t position) const {
    return position == 0 || position >= text_.size() || Next(Previous(position)) == position;
}

bool FieldTextUnits::StartsUnit(std::size_t position) const {
    const std::size_t length = text_.size();
    if (position < length)
        return IsBoundary(position);
    if (position > length)
        return false;
    if (length == 0)
        return true;
    // An empty last line, or paragraph, after a line break at the end.
    if (unit_ == TextUnit::Line)
        return source_.RowStart(source_.RowCount() - 1) == length;
    if (unit_ == TextUnit::Paragraph)
        return text_.ends_with(LineBreak);
    return false;
}

std::size_t FieldTextUnits::EndOfUnitAt(std::size_t position) const {
    return position >= text_.size() ? text_.size() : Next(position);
}

TextRangeSpan FieldTextUnits::Enclosing(std::size_t position) const {
    position = std::min(position, text_.size());
    const std::size_t start = StartsUnit(position) ? position : Previous(position);
    return {start, EndOfUnitAt(start)};
}

TextRangeSpan FieldTextUnits::Expand(TextRangeSpan range) const {
    range = ClampedToText(range, text_.size());
    if (range.start < range.end && StartsUnit(range.start) && IsBoundary(range.end))
        return range;
    return Enclosing(range.start);
}

int FieldTextUnits::Move(TextRangeSpan& range, int count) const {
    const std::size_t length = text_.size();
    range = ClampedToText(range, length);
    int moved = 0;
    if (range.start == range.end) {
        // An insertion point: from stop to stop, as the caret goes.
        std::size_t at = range.start;
        for (; moved < count && at < length; ++moved)
            at = Next(at);
        for (; moved > count && at > 0; --moved)
            at = Previous(at);
        range = {at, at};
        return moved;
    }
    // From the start of the unit that holds the range's start, a unit at a
    // time, and then as wide as the unit it has come to.
    std::size_t start = StartsUnit(range.start) ? range.start : Previous(range.start);
    for (; moved < count && start < length; ++moved) {
        const std::size_t next = Next(start);
        if (next >= length && !StartsUnit(length))
            break;
        start = next;
    }
    for (; moved > count && start > 0; --moved)
        start = Previous(start);
    if (moved != 0)
        range = {start, EndOfUnitAt(start)};
    return moved;
}

int FieldTextUnits::MoveEndpoint(TextRangeSpan& range, bool start, int count) const {
    const std::size_t length = text_.size();
    range = ClampedToText(range, length);
    std::size_t at = start ? range.start : range.end;
    int moved = 0;
    for (; moved < count && at < length; ++moved)
        at = Next(at);
    for (; moved > count && at > 0; --moved)
        at = Previous(at);
    if (start) {
        range.start = at;
        range.end = std::max(range.end, at);
    } else {
        range.end = at;
        range.start = std::min(range.start, at);
    }
    return moved;
}

TextRangeSpan ClampedToText(TextRangeSpan range, std::size_t length) {
    const std::size_t end = std::min(range.end, length);
    return {std::min(range.start, end), end};
}

} // namespace quimbel::ui::win32
