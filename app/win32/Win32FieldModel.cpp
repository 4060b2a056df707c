#include "Win32FieldModel.h"

#include "WindowPlan.h"

#include <algorithm>
#include <climits>

namespace quimbel::ui::win32 {

namespace {

bool IsBlank(wchar_t unit) { return unit == L' ' || unit == L'\t' || unit == 0x3000; }
bool IsSpace(wchar_t unit) { return IsBlank(unit) || unit == L'\r' || unit == L'\n'; }

std::size_t StopAtOrBefore(std::wstring_view text, std::size_t position) {
    position = std::min(position, text.size());
    while (position > 0 && !IsCaretStop(text, position))
        --position;
    return position;
}

// Never inside a line break or a surrogate pair: no edit cuts one in two,
// wherever a caret may stop.
std::size_t WholeUnitAtOrBefore(std::wstring_view text, std::size_t position) {
    position = std::min(position, text.size());
    if (position > 0 && position < text.size() &&
        ((text[position - 1] == L'\r' && text[position] == L'\n') ||
         (text[position - 1] >= 0xD800 && text[position - 1] <= 0xDBFF &&
          text[position] >= 0xDC00 && text[position] <= 0xDFFF)))
        --position;
    return position;
}

// How a typed key's edit runs on from the last one, which one Undo then takes
// back with it.
enum class RunOn { No, Typing, BackSpace, Delete };

RunOn RunOf(const FieldEdit& last, const FieldEdit& edit) {
    if (!last.typed || !edit.typed)
        return RunOn::No;
    // Typing on, also after typing over a selection.
    if (edit.removed.empty() && !edit.inserted.empty() && !last.inserted.empty() &&
        edit.at == last.at + last.inserted.size())
        return RunOn::Typing;
    if (!edit.inserted.empty() || !last.inserted.empty())
        return RunOn::No;
    // BackSpace after BackSpace, Delete after Delete.
    if (edit.at + edit.removed.size() == last.at)
        return RunOn::BackSpace;
    if (edit.at == last.at)
        return RunOn::Delete;
    return RunOn::No;
}

// Room for `more` characters in `held`, growing as a string grows so that a
// long run of keys is not copied at every key.
void MakeRoom(std::wstring& held, std::size_t more) {
    const std::size_t needed = held.size() + more;
    if (needed > held.capacity())
        held.reserve(std::max(needed, 2 * held.capacity()));
}

// The memory an edit holds.
std::size_t BytesOf(const FieldEdit& edit) {
    return sizeof edit + (edit.removed.capacity() + edit.inserted.capacity()) * sizeof(wchar_t);
}

} // namespace

bool IsCaretStop(std::wstring_view text, std::size_t position) {
    if (position == 0 || position >= text.size())
        return true;
    if (text[position - 1] == L'\r' && text[position] == L'\n')
        return false;
    // A line's ends are always stops, whatever marks or joiners meet there.
    if (text[position] == L'\r' || text[position - 1] == L'\n')
        return true;
    return MayEndPieceAt(text, position);
}

std::size_t NextStop(std::wstring_view text, std::size_t position) {
    if (position >= text.size())
        return text.size();
    ++position;
    while (position < text.size() && !IsCaretStop(text, position))
        ++position;
    return position;
}

std::size_t PreviousStop(std::wstring_view text, std::size_t position) {
    if (position == 0)
        return 0;
    return StopAtOrBefore(text, std::min(position, text.size()) - 1);
}

std::size_t NextWordStart(std::wstring_view text, std::size_t position) {
    std::size_t at = std::min(position, text.size());
    while (at < text.size() && !IsSpace(text[at]))
        ++at;
    while (at < text.size() && IsSpace(text[at]))
        ++at;
    return StopAtOrBefore(text, at);
}

std::size_t PreviousWordStart(std::wstring_view text, std::size_t position) {
    std::size_t at = std::min(position, text.size());
    while (at > 0 && IsSpace(text[at - 1]))
        --at;
    while (at > 0 && !IsSpace(text[at - 1]))
        --at;
    return at;
}

TextSpan WordAt(std::wstring_view text, std::size_t position) {
    if (text.empty())
        return {};
    position = std::min(position, text.size());
    // At a word's end, or the text's, the word before.
    std::size_t at = position;
    if (at == text.size() || (at > 0 && IsSpace(text[at]) && !IsSpace(text[at - 1])))
        --at;
    if (text[at] == L'\r' || text[at] == L'\n')
        return {position, position};
    const bool blank = IsBlank(text[at]);
    const auto same = [&](wchar_t unit) { return blank ? IsBlank(unit) : !IsSpace(unit); };
    std::size_t start = at;
    while (start > 0 && same(text[start - 1]))
        --start;
    std::size_t end = at + 1;
    while (end < text.size() && same(text[end]))
        ++end;
    return {start, end};
}

// --- What the platform's text services say of a text ---------------------

TextBreaks::Span TextBreaks::Around(std::wstring_view text, std::size_t at) {
    const std::size_t index = at / BlockUnits;
    const std::size_t from = index * BlockUnits;
    const std::size_t seenFrom = from - std::min(from, ContextUnits);
    const std::size_t seenTo = std::min(text.size(), from + BlockUnits + ContextUnits);
    const std::wstring_view seen = text.substr(seenFrom, seenTo - seenFrom);
    Block* found = nullptr;
    for (Block& block : blocks_) {
        if (block.index == index && block.seenFrom == seenFrom && block.seen == seen) {
            found = &block;
            break;
        }
    }
    if (!found) {
        found = &blocks_[nextBlock_];
        nextBlock_ = (nextBlock_ + 1) % blocks_.size();
        Fill(*found, text, index);
    }
    return {found->from, found->from + found->flags.size(), found->flags.data(), &found->fill,
            found->fill};
}

void TextBreaks::Fill(Block& block, std::wstring_view text, std::size_t index) {
    // Marked unknown first, and any span of it let go: an analysis that
    // throws leaves no half-filled block in use.
    block.index = SIZE_MAX;
    block.fill = ++fills_;
    block.from = index * BlockUnits;
    const std::size_t to = std::min(text.size(), block.from + BlockUnits);
    block.seenFrom = block.from - std::min(block.from, ContextUnits);
    const std::size_t seenTo = std::min(text.size(), to + ContextUnits);
    block.seen.assign(text.substr(block.seenFrom, seenTo - block.seenFrom));
    std::vector<std::uint8_t> flags(block.seen.size(), 0);
    // Each line on its own, as the analysis takes them; a line break's units
    // are only places the caret may stand before, outside "\r\n".
    const std::wstring_view seen = block.seen;
    for (std::size_t at = 0; at < seen.size();) {
        std::size_t end = at;
        while (end < seen.size() && seen[end] != L'\r' && seen[end] != L'\n')
            ++end;
        if (end > at)
            analysis_.Analyse(seen.substr(at, end - at), flags.data() + at);
        for (at = end; at < seen.size() && (seen[at] == L'\r' || seen[at] == L'\n'); ++at) {
            const bool afterReturn = seen[at] == L'\n' && at > 0 && seen[at - 1] == L'\r';
            flags[at] = afterReturn ? 0 : StopBefore;
        }
    }
    const std::size_t skip = block.from - block.seenFrom;
    block.flags.assign(flags.begin() + static_cast<std::ptrdiff_t>(skip),
                       flags.begin() + static_cast<std::ptrdiff_t>(skip + (to - block.from)));
    block.index = index;
    block.fill = ++fills_;
}

bool TextBreaks::IsStop(std::wstring_view text, std::size_t position) {
    Span span;
    return IsStop(text, position, span);
}

bool TextBreaks::IsStop(std::wstring_view text, std::size_t position, Span& span) {
    if (!IsCaretStop(text, position))
        return false;
    if (position == 0 || position >= text.size() || text[position] == L'\r' ||
        text[position - 1] == L'\n')
        return true;
    if (!span.Holds(position))
        span = Around(text, position);
    return (span.At(position) & StopBefore) != 0;
}

std::size_t TextBreaks::NextStop(std::wstring_view text, std::size_t position) {
    if (position >= text.size())
        return text.size();
    ++position;
    while (position < text.size() && !IsStop(text, position))
        ++position;
    return position;
}

std::size_t TextBreaks::PreviousStop(std::wstring_view text, std::size_t position) {
    if (position == 0)
        return 0;
    return StopAtOrBefore(text, std::min(position, text.size()) - 1);
}

std::size_t TextBreaks::StopAtOrBefore(std::wstring_view text, std::size_t position) {
    position = std::min(position, text.size());
    while (position > 0 && !IsStop(text, position))
        --position;
    return position;
}

// --- The text, its selection and its history -----------------------------

void FieldContent::Select(std::size_t anchor, std::size_t caret) {
    anchor_ = StopAtOrBefore(text_, anchor);
    caret_ = StopAtOrBefore(text_, caret);
}

void FieldContent::ReserveText(std::size_t size) {
    // Room for some typing after a paste: a key after a long paste would
    // otherwise copy the whole text.
    if (size > text_.capacity())
        text_.reserve(size + size / 8 + 0x100);
}

TextChange FieldContent::Replace(std::size_t start, std::size_t end, std::wstring_view text,
                                 bool typed, const ChangeFollower& follow) {
    start = WholeUnitAtOrBefore(text_, start);
    end = std::max(start, WholeUnitAtOrBefore(text_, end));
    const TextChange change{start, end - start, text.size()};
    if (change.removed == 0 && change.inserted == 0) {
        anchor_ = caret_ = start;
        return change;
    }
    // Made aside: the edit for the history, room for it there and for the new text.
    FieldEdit edit{start, text_.substr(start, change.removed), std::wstring(text), typed};
    const RunOn run = undo_.empty() ? RunOn::No : RunOf(undo_.back(), edit);
    FieldEdit* const last = run == RunOn::No ? nullptr : &undo_.back();
    if (last) {
        // The room is held from now on, whatever becomes of this edit.
        const std::size_t before = BytesOf(*last);
        MakeRoom(run == RunOn::Typing ? last->inserted : last->removed,
                 run == RunOn::Typing ? edit.inserted.size() : edit.removed.size());
        historyBytes_ = historyBytes_ - before + BytesOf(*last);
    }
    const std::size_t lastBytes = last ? BytesOf(*last) : 0;
    ReserveText(text_.size() - change.removed + change.inserted);
    const std::size_t edited = BytesOf(edit);
    if (!last)
        undo_.push_back(std::move(edit));

    // Within the room made, the text changes without allocating.
    text_.replace(start, change.removed, text);
    if (follow) {
        try {
            follow(text_, change);
        } catch (...) {
            const std::wstring& removed = last ? edit.removed : undo_.back().removed;
            text_.replace(start, change.inserted, removed);
            if (!last)
                undo_.pop_back();
            throw;
        }
    }

    // Nothing below fails.
    for (const FieldEdit& dropped : redo_)
        historyBytes_ -= BytesOf(dropped);
    redo_.clear();
    switch (run) {
    case RunOn::Typing:
        last->inserted += edit.inserted;
        break;
    case RunOn::BackSpace:
        last->at = edit.at;
        last->removed.insert(0, edit.removed);
        break;
    case RunOn::Delete:
        last->removed += edit.removed;
        break;
    case RunOn::No:
        historyBytes_ += edited;
        break;
    }
    if (last)
        historyBytes_ = historyBytes_ - lastBytes + BytesOf(*last);
    anchor_ = caret_ = start + change.inserted;
    KeepHistoryWithinBudget();
    GiveBackRoom();
    return change;
}

void FieldContent::SetText(std::wstring text) noexcept {
    // Swapped, not moved: a short string moved in would keep the old text's
    // megabytes of room.
    text_.swap(text);
    anchor_ = caret_ = 0;
    ForgetHistory();
}

std::size_t FieldContent::HistoryBudget() const {
    return std::max(historyFloor_, 4 * text_.size() * sizeof(wchar_t));
}

void FieldContent::KeepHistoryWithinBudget() noexcept {
    const std::size_t budget = HistoryBudget();
    while (historyBytes_ > budget && undo_.size() > 1) {
        historyBytes_ -= BytesOf(undo_.front());
        undo_.pop_front();
    }
}

void FieldContent::GiveBackRoom() noexcept {
    // Most of a long text deleted: its room is given back, but not at every
    // key of a text that only shrank a little. Room that cannot be given
    // back now is only kept.
    if (text_.capacity() > 4 * text_.size() + 0x10000) {
        try {
            text_.shrink_to_fit();
        } catch (...) {
        }
    }
}

void FieldContent::ForgetHistory() noexcept {
    undo_.clear();
    redo_.clear();
    historyBytes_ = 0;
}

std::optional<TextChange> FieldContent::Step(bool back, const ChangeFollower& follow) {
    std::deque<FieldEdit>& from = back ? undo_ : redo_;
    std::deque<FieldEdit>& to = back ? redo_ : undo_;
    if (from.empty())
        return std::nullopt;
    const FieldEdit& last = from.back();
    const TextChange change{last.at, (back ? last.inserted : last.removed).size(),
                            (back ? last.removed : last.inserted).size()};
    ReserveText(text_.size() - change.removed + change.inserted);
    // Moved over first: a deque either takes it whole or is left as it was.
    to.push_back(std::move(from.back()));
    FieldEdit& edit = to.back();
    const std::wstring& shown = back ? edit.inserted : edit.removed;
    const std::wstring& wanted = back ? edit.removed : edit.inserted;

    text_.replace(edit.at, shown.size(), wanted);
    if (follow) {
        try {
            follow(text_, change);
        } catch (...) {
            text_.replace(edit.at, wanted.size(), shown);
            from.back() = std::move(edit);
            to.pop_back();
            throw;
        }
    }

    from.pop_back();
    anchor_ = edit.at;
    caret_ = edit.at + wanted.size();
    // What follows starts an edit of its own.
    edit.typed = false;
    GiveBackRoom();
    return change;
}

// --- Rows ----------------------------------------------------------------

void CharacterWidths::Reset(int tab) {
    std::fill(table_.begin(), table_.end(), -1);
    pairs_.clear();
    tab_ = std::max(tab, 1);
}

void CharacterWidths::FillBlock(char16_t first) {
    Measure(first, 0x100, table_.data() + first);
    // Never a width that runs back.
    for (std::size_t i = first; i < std::size_t{first} + 0x100; ++i)
        table_[i] = std::max(table_[i], 0);
}

int CharacterWidths::OfPair(char32_t codePoint) {
    const auto known = pairs_.find(codePoint);
    if (known != pairs_.end())
        return known->second;
    int width = 0;
    Measure(codePoint, 1, &width);
    return pairs_[codePoint] = std::max(width, 0);
}

std::size_t FieldRows::RowEndAt(std::wstring_view text, std::size_t start, std::size_t lineEnd,
                                int width, CharacterWidths& widths) {
    std::size_t end = FitEnd(text, start, lineEnd, width, widths).end;
    const auto flagsAt = [&](std::size_t at) {
        if (!span_.Holds(at))
            span_ = breaks_->Around(text, at);
        return span_.At(at);
    };
    // A row shaped as a whole may be wider than its characters' advances
    // said: it ends at an earlier break then, or an earlier character.
    for (;;) {
        // Most rows are drawn character by character: nothing more to ask.
        if (widths.Shaped(text.substr(start, end - start)) < 0)
            return end;
        std::size_t shown = end;
        while (shown > start && (flagsAt(shown - 1) & Blank))
            --shown;
        if (shown <= start || widths.Shaped(text.substr(start, shown - start)) <= width)
            return end;
        std::size_t back = shown - 1;
        while (back > start && !(flagsAt(back) & BreakBefore))
            --back;
        if (back == start) {
            back = shown - 1;
            while (back > start && !breaks_->IsStop(text, back, span_))
                --back;
        }
        if (back == start)
            return end;
        end = back;
    }
}

FieldRows::Fit FieldRows::FitEnd(std::wstring_view text, std::size_t start, std::size_t lineEnd,
                                 int width, CharacterWidths& widths) {
    Fit fit{lineEnd, start, false};
    // Where a row that cannot end at a break ends: after the last whole
    // character that fits, or after one character wider than the row, with
    // the marks it carries.
    const auto cut = [&](std::size_t at) {
        std::size_t end = at;
        while (end > start && !breaks_->IsStop(text, end, span_))
            --end;
        if (end > start)
            return Fit{end, fit.reach, fit.tab};
        end = at;
        while (end < lineEnd && !breaks_->IsStop(text, end, span_))
            ++end;
        return Fit{end, std::max(fit.reach, end + 1), fit.tab};
    };
    long long x = 0;
    // The last place after the row's start where the analysis lets it end.
    std::size_t breakAt = start;
    // Where the run of blanks the row is in started, when it is in one.
    long long runX = 0;
    bool inRun = false;
    for (std::size_t at = start; at < lineEnd;) {
        if (!span_.Holds(at))
            span_ = breaks_->Around(text, at);
        const std::uint8_t flags = span_.At(at);
        std::size_t units = 1;
        const int advance =
            widths.Of(text, at, static_cast<int>(std::min<long long>(x, INT_MAX)), units);
        fit.reach = at + units + 1;
        fit.tab |= text[at] == L'\t';
        const bool fits = at == start || x + advance <= width;
        if (flags & Blank) {
            // Blanks hang past the row's end, but a row holds no more of a
            // run than would fill it: a longer run wraps, or a paint and a
            // caret move would walk the whole of it. Counted from where the
            // run starts, its rows start at the same places whatever comes
            // before it, so rows laid out again after an edit there meet
            // the old ones at once.
            if (!inRun) {
                runX = x;
                inRun = true;
            }
            if (at > start && x - runX + advance > width)
                return cut(at);
            x += advance;
            at += units;
            continue;
        }
        inRun = false;
        if (at > start && (flags & BreakBefore))
            breakAt = at;
        if (!fits)
            return breakAt > start ? Fit{breakAt, fit.reach, fit.tab} : cut(at);
        x += advance;
        at += units;
    }
    fit.reach = lineEnd + 1;
    return fit;
}

void FieldRows::Wrap(std::wstring_view text, int width, CharacterWidths& widths) {
    // Made aside, so that a failure keeps the old rows; and the rows of a
    // long text emptied are given back.
    FieldRows wrapped(*breaks_);
    wrapped.Follow(text, {0, 0, text.size()}, width, widths);
    starts_.swap(wrapped.starts_);
}

void FieldRows::Follow(std::wstring_view text, const TextChange& change, int width,
                       CharacterWidths& widths) {
    // A field not yet given a width breaks its lines only where they end.
    if (width <= 0)
        width = INT_MAX;
    // The text changed since rows were last laid out.
    span_ = {};
    // The rows before the edit too whose ends were decided by what it
    // changed: a row ends at a break because of a character after it that
    // did not fit, as far on as the row after next, or further past rows
    // of a tab (whose width depends on where it stands) or of blanks.
    const auto upper = std::upper_bound(starts_.begin(), starts_.end(), change.at);
    std::size_t first = static_cast<std::size_t>(upper - starts_.begin()) - 1;
    while (first > 0) {
        const std::size_t from = starts_[first - 1];
        // Only the text before the edit is read: past it, the row reaches it.
        const std::size_t bound = change.at - std::min(change.at, Context);
        if (from >= bound)
            --first;
        else {
            const Fit fit =
                FitEnd(text, from, std::min(text.substr(0, bound).find(L"\r\n", from), bound),
                       width, widths);
            if (fit.reach < bound && !fit.tab)
                break;
            --first;
        }
    }
    const std::size_t oldEnd = change.at + change.removed;
    const std::size_t newEnd = change.at + change.inserted;
    // Old rows that start after the edit, where the new ones may meet them.
    const auto afterEdit = std::lower_bound(upper, starts_.end(), oldEnd);

    std::vector<std::size_t> made;
    auto met = starts_.end();
    std::size_t start = starts_[first];
    // Looked for once a line: each search runs to the line's end.
    std::size_t lineEnd = 0;
    bool lineKnown = false;
    for (;;) {
        if (!lineKnown) {
            lineEnd = std::min(text.find(L"\r\n", start), text.size());
            lineKnown = true;
        }
        std::size_t next = RowEndAt(text, start, lineEnd, width, widths);
        if (next >= lineEnd) {
            if (lineEnd == text.size())
                break;
            next = lineEnd + 2;
            lineKnown = false;
        }
        if (next >= newEnd) {
            const std::size_t old = next - newEnd + oldEnd;
            const auto found = std::lower_bound(afterEdit, starts_.end(), old);
            if (found != starts_.end() && *found == old) {
                met = found;
                break;
            }
        }
        made.push_back(next);
        start = next;
    }
    // Room first: from here on nothing fails, and the rows change whole.
    const auto kept = starts_.size() - static_cast<std::size_t>(met - starts_.begin());
    const std::size_t needed = first + 1 + made.size() + kept;
    if (needed > starts_.capacity()) {
        const auto metAt = met - starts_.begin();
        starts_.reserve(std::max(needed, 2 * starts_.capacity()));
        met = starts_.begin() + metAt;
    }
    // The old rows met, moved by what the edit added or took away.
    for (auto row = met; row != starts_.end(); ++row)
        *row = *row - oldEnd + newEnd;
    const auto from = starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(first) + 1, met);
    starts_.insert(from, made.begin(), made.end());
}

std::size_t FieldRows::End(std::wstring_view text, std::size_t row) const {
    if (row + 1 >= starts_.size())
        return text.size();
    const std::size_t next = starts_[row + 1];
    if (next >= 2 && text[next - 2] == L'\r' && text[next - 1] == L'\n')
        return next - 2;
    return next;
}

std::size_t FieldRows::RowOf(std::wstring_view text, std::size_t position, bool atRowEnd) const {
    const auto upper = std::upper_bound(starts_.begin(), starts_.end(), position);
    auto row = static_cast<std::size_t>(upper - starts_.begin()) - 1;
    if (atRowEnd && row > 0 && starts_[row] == position && End(text, row - 1) == position)
        --row;
    return row;
}

} // namespace quimbel::ui::win32
