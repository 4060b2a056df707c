#pragma once

// What a field holds and shows, apart from its window: the text with its
// selection and history of edits, and the rows the text wraps into at the
// field's width. Plain C++, so that what the field does to a text can be
// checked without a window.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quimbel::ui::win32 {

// --- Where a caret may stand ---------------------------------------------

// Between two characters as the user sees them: never inside a line break
// ("\r\n"), a surrogate pair or a character and the marks that extend it.
bool IsCaretStop(std::wstring_view text, std::size_t position);
// The stop a character after `position`, or before it; the text's end or start at most.
std::size_t NextStop(std::wstring_view text, std::size_t position);
std::size_t PreviousStop(std::wstring_view text, std::size_t position);
// The start of the next word, or of this or the previous one, as Ctrl+Right
// and Ctrl+Left move: a word is a run of characters other than blanks and
// line breaks.
std::size_t NextWordStart(std::wstring_view text, std::size_t position);
std::size_t PreviousWordStart(std::wstring_view text, std::size_t position);
// The word, or run of blanks, that a double click at `position` selects.
struct TextSpan {
    std::size_t start = 0;
    std::size_t end = 0;
};
TextSpan WordAt(std::wstring_view text, std::size_t position);

// --- What the platform's text services say of a text ---------------------

// Of one unit of a line, what a line breaker says (Uniscribe on Windows).
enum TextFlag : std::uint8_t {
    // A row may start at this unit.
    BreakBefore = 1,
    // The unit is a blank a row may break after (hangs at a row's end).
    Blank = 2,
    // The caret may stand before this unit.
    StopBefore = 4,
    // A word move may stop before this unit.
    WordBefore = 8,
};

// Answers for a piece of one line where rows may break and the caret stop.
// The rows and caret moves ask it; it never draws.
class TextAnalysis {
public:
    virtual ~TextAnalysis() = default;
    // One set of TextFlag bits a unit of `line` (no line breaks in it) into
    // `flags`.
    virtual void Analyse(std::wstring_view line, std::uint8_t* flags) = 0;
};

// What a TextAnalysis said of a text, asked a block at a time around where
// it is needed, never of a whole long line at once, and kept for the blocks
// last asked. A kept block is checked against the text each time it is
// handed out, so an edit, or one that failed halfway, never leaves it stale.
class TextBreaks {
public:
    explicit TextBreaks(TextAnalysis& analysis) : analysis_(analysis) {}
    TextBreaks(const TextBreaks&) = delete;
    TextBreaks& operator=(const TextBreaks&) = delete;

    // The flags of the units from `from` to `to` (the block that holds
    // `at`), for as long as the text is the same and the block is kept.
    struct Span {
        std::size_t from = 0;
        std::size_t to = 0;
        const std::uint8_t* flags = nullptr;
        // Which filling of its block it is.
        const std::uint64_t* filled = nullptr;
        std::uint64_t fill = 0;
        std::uint8_t At(std::size_t at) const { return flags[at - from]; }
        // Whether it answers for `at` still, the text being the same.
        bool Holds(std::size_t at) const {
            return filled && *filled == fill && at >= from && at < to;
        }
    };
    Span Around(std::wstring_view text, std::size_t at);

    // A place the caret may stand: where the analysis says so and no
    // character is cut (IsCaretStop), and always at a line's ends.
    bool IsStop(std::wstring_view text, std::size_t position);
    // The same, reading `span` while it holds the place, for a caller that
    // knows the text has not changed since it was given.
    bool IsStop(std::wstring_view text, std::size_t position, Span& span);
    std::size_t NextStop(std::wstring_view text, std::size_t position);
    std::size_t PreviousStop(std::wstring_view text, std::size_t position);
    std::size_t StopAtOrBefore(std::wstring_view text, std::size_t position);

    // Units a block holds, and units of its line on either side asked with
    // it, so that its first and last units are seen in their context.
    static constexpr std::size_t BlockUnits = 2048;
    static constexpr std::size_t ContextUnits = 64;

private:
    struct Block {
        std::size_t index = SIZE_MAX;
        // The text analysed for it, its context with it, and where that starts.
        std::size_t seenFrom = 0;
        std::wstring seen;
        std::size_t from = 0;
        std::vector<std::uint8_t> flags;
        std::uint64_t fill = 0;
    };
    void Fill(Block& block, std::wstring_view text, std::size_t index);

    TextAnalysis& analysis_;
    std::array<Block, 8> blocks_;
    std::size_t nextBlock_ = 0;
    std::uint64_t fills_ = 0;
};

// --- The text, its selection and its history -----------------------------

// Where a text changed: `removed` characters at `at` replaced by `inserted` others.
struct TextChange {
    std::size_t at = 0;
    std::size_t removed = 0;
    std::size_t inserted = 0;
};

// One edit: `removed` taken out at `at`, `inserted` put in its place.
struct FieldEdit {
    std::size_t at = 0;
    std::wstring removed;
    std::wstring inserted;
    // Made by a typed key: typing, BackSpace and Delete run on in one edit,
    // which one Undo takes back.
    bool typed = false;
};

// What must change with the text, told of each change once the text has
// changed: an edit is kept only when this returns, and taken back whole when
// it throws.
using ChangeFollower = std::function<void(std::wstring_view text, const TextChange& change)>;

// Each edit changes the text, what follows it and the history together or
// not at all: whatever it needs is allocated before anything changes.
//
// The history is bounded: it keeps at most the larger of HistoryFloor (64 MB)
// and four times the text's own size, counted in the memory its edits hold.
// When a new edit takes it past that, the oldest edits are dropped first, and
// Undo stops where they were. The newest edit is always kept, whatever its
// size, so that the last thing the user did can always be taken back.
class FieldContent {
public:
    static constexpr std::size_t HistoryFloor = std::size_t{64} << 20;

    // `historyFloor` in place of HistoryFloor, for tests of the bound.
    explicit FieldContent(std::size_t historyFloor = HistoryFloor) : historyFloor_(historyFloor) {}

    const std::wstring& Text() const { return text_; }
    std::size_t Anchor() const { return anchor_; }
    std::size_t Caret() const { return caret_; }
    std::size_t SelectionStart() const { return anchor_ < caret_ ? anchor_ : caret_; }
    std::size_t SelectionEnd() const { return anchor_ < caret_ ? caret_ : anchor_; }
    bool HasSelection() const { return anchor_ != caret_; }

    // Selects from `anchor` to `caret`, each kept within the text and moved
    // back to a caret stop: where keys and clicks put the caret.
    void Select(std::size_t anchor, std::size_t caret);
    // Puts `text` (line breaks already "\r\n") in place of start to end, as
    // an edit the user can undo, and the caret right after it, where the next
    // edit starts whether or not a caret may stop there: what is typed goes in
    // in the order typed. Only a line break or a surrogate pair is never cut.
    TextChange Replace(std::size_t start, std::size_t end, std::wstring_view text, bool typed,
                       const ChangeFollower& follow = {});
    // The program's text: nothing to undo or redo, the caret at its start.
    void SetText(std::wstring text) noexcept;

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    // Takes back the last edit, or makes again the last one taken back,
    // selecting the text it puts back; the change made, none when there was
    // nothing to take back or make again.
    std::optional<TextChange> Undo(const ChangeFollower& follow = {}) { return Step(true, follow); }
    std::optional<TextChange> Redo(const ChangeFollower& follow = {}) {
        return Step(false, follow);
    }
    void ForgetHistory() noexcept;
    // The memory the history's edits hold, which its bound counts.
    std::size_t HistoryBytes() const { return historyBytes_; }
    std::size_t HistoryBudget() const;

private:
    std::optional<TextChange> Step(bool back, const ChangeFollower& follow);
    // Room for `size` characters, so that changing the text cannot fail.
    void ReserveText(std::size_t size);
    void KeepHistoryWithinBudget() noexcept;
    void GiveBackRoom() noexcept;

    std::wstring text_;
    std::size_t anchor_ = 0;
    std::size_t caret_ = 0;
    // Deques: the oldest edits leave from the front, each freed as it goes.
    std::deque<FieldEdit> undo_;
    std::deque<FieldEdit> redo_;
    std::size_t historyBytes_ = 0;
    std::size_t historyFloor_;
};

// --- Rows ----------------------------------------------------------------

// Advance widths of characters in one font, in pixels; each asked of the
// font once.
class CharacterWidths {
public:
    virtual ~CharacterWidths() = default;
    // The advance of `text` at `at` (one unit, or a surrogate pair) when it
    // starts `x` pixels into its row; how many units it took.
    int Of(std::wstring_view text, std::size_t at, int x, std::size_t& units) {
        const wchar_t unit = text[at];
        units = 1;
        if (unit == L'\t')
            return tab_ - x % tab_;
        if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
            text[at + 1] <= 0xDFFF) {
            units = 2;
            return OfPair(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[at + 1] - 0xDC00));
        }
        int& width = table_[static_cast<char16_t>(unit)];
        if (width < 0)
            FillBlock(static_cast<char16_t>(unit & 0xFF00));
        return width;
    }
    // Forgets every width: the font changed. Tabs stop every `tab` pixels.
    void Reset(int tab);
    int Tab() const { return tab_; }
    // The width of `row` as drawn where that is not the sum of its
    // characters' advances (a row shaped as a whole: joined, reordered, from
    // a fallback font); -1 for a row drawn character by character.
    virtual int Shaped(std::wstring_view row) {
        (void)row;
        return -1;
    }

protected:
    // The advances of `count` characters from `first`, in the current font.
    virtual void Measure(char32_t first, std::size_t count, int* widths) = 0;

private:
    void FillBlock(char16_t first);
    int OfPair(char32_t codePoint);

    std::vector<int> table_ = std::vector<int>(0x10000, -1);
    std::unordered_map<char32_t, int> pairs_;
    int tab_ = 32;
};

// Where the rows of a text start, wrapped at a width: a line breaks where
// it ends, and a long one at the last place the text's analysis lets a row
// start that fits, or else after the last character that fits. Blanks at a
// row's end hang past it, up to a row's width of them: a longer run of blanks
// wraps like any other text.
class FieldRows {
public:
    explicit FieldRows(TextBreaks& breaks) : breaks_(&breaks) {}

    // Every row anew.
    void Wrap(std::wstring_view text, int width, CharacterWidths& widths);
    // After `change` turned the text it was wrapped for into `text`: the rows
    // from two before the edit on, until they meet the old ones again.
    void Follow(std::wstring_view text, const TextChange& change, int width,
                CharacterWidths& widths);

    std::size_t Count() const { return starts_.size(); }
    std::size_t Start(std::size_t row) const { return starts_[row]; }
    // Where the row ends, before its line break if it has one.
    std::size_t End(std::wstring_view text, std::size_t row) const;
    // The row that holds `position`; at a wrapped row's end, the next one
    // unless `atRowEnd`.
    std::size_t RowOf(std::wstring_view text, std::size_t position, bool atRowEnd = false) const;

private:
    // Where the row that starts at `start`, in the line that ends at `lineEnd`, ends.
    std::size_t RowEndAt(std::wstring_view text, std::size_t start, std::size_t lineEnd, int width,
                         CharacterWidths& widths);
    // Where that row ends by its characters' advances; how far on it read
    // the text (it ends there because of what it read), and whether it met
    // a tab, whose width depends on where it stands.
    struct Fit {
        std::size_t end;
        std::size_t reach;
        bool tab;
    };
    Fit FitEnd(std::wstring_view text, std::size_t start, std::size_t lineEnd, int width,
               CharacterWidths& widths);
    // Units before a place whose line-breaking answers a change there may change.
    static constexpr std::size_t Context = 16;

    TextBreaks* breaks_;
    // The block of answers last read while laying rows out, for the next
    // row: a text does not change while its rows are laid out.
    TextBreaks::Span span_;
    std::vector<std::size_t> starts_{0};
};

} // namespace quimbel::ui::win32
