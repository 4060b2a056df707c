// What a Windows field does to its text apart from its window: where a caret
// may stand, Undo and Redo, and the rows a text wraps into.

#include "Win32FieldModel.h"
#include "FailingAllocation.h"
#include "Win32Private.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quimbel::testing {
namespace {

using ui::win32::ChangeFollower;
using ui::win32::CharacterWidths;
using ui::win32::FieldContent;
using ui::win32::FieldRows;
using ui::win32::TextAnalysis;
using ui::win32::TextBreaks;
using ui::win32::TextChange;

// --- Line breaks ------------------------------------------------------------

TEST(FieldText, EveryKindOfLineBreakBecomesTheFieldsOwn) {
    const struct {
        const char* name;
        std::wstring_view text;
        std::wstring_view held;
    } cases[] = {
        {"empty", L"", L""},
        {"bare line feed", L"12\n34", L"12\r\n34"},
        {"carriage return and line feed", L"12\r\n34", L"12\r\n34"},
        // How Windows writes a break where a line wraps: one break.
        {"two carriage returns and a line feed", L"12\r\r\n34", L"12\r\n34"},
        {"a carriage return alone", L"a\rb", L"a\r\nb"},
        {"a carriage return before a line break", L"a\r\n\rb", L"a\r\n\r\nb"},
        {"no break at all", L"abcdefg", L"abcdefg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ui::win32::FieldText(c.text), c.held);
    }
}

// --- Caret stops and words ---------------------------------------------------

TEST(CaretStops, NeverInsideALineBreakAPairOrACharacterWithItsMarks) {
    // "a", CR LF, a surrogate pair, "e" with a combining acute, "b".
    const std::wstring text = L"a\r\n\xD83D\xDE00"
                              L"e\x0301"
                              L"b";
    const std::vector<std::size_t> stops{0, 1, 3, 5, 7, 8};
    for (std::size_t at = 0; at <= text.size(); ++at)
        EXPECT_EQ(ui::win32::IsCaretStop(text, at),
                  std::find(stops.begin(), stops.end(), at) != stops.end())
            << at;
    // Walking forward and back visits exactly the stops.
    std::vector<std::size_t> forward{0};
    while (forward.back() < text.size())
        forward.push_back(ui::win32::NextStop(text, forward.back()));
    EXPECT_EQ(forward, stops);
    std::vector<std::size_t> back{text.size()};
    while (back.back() > 0)
        back.push_back(ui::win32::PreviousStop(text, back.back()));
    EXPECT_EQ(std::vector<std::size_t>(back.rbegin(), back.rend()), stops);
}

// A line's start and end are stops even where a mark starts the line or a
// joiner ends it: BackSpace never takes a line break with a mark, nor Delete
// a joiner with the line break.
TEST(CaretStops, ALinesEndsAreStopsWhateverMeetsThere) {
    const struct {
        const char* name;
        std::wstring_view text;
        std::size_t from;
        std::size_t previous;
        std::size_t next;
    } cases[] = {
        {"a mark at a line's start",
         L"ab\r\n\x0301"
         L"c",
         5, 4, 6},
        // The joiner goes with the letter before it.
        {"a joiner at a line's end", L"a\x200D\r\nb", 2, 0, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ui::win32::IsCaretStop(c.text, c.from));
        EXPECT_EQ(ui::win32::PreviousStop(c.text, c.from), c.previous);
        EXPECT_EQ(ui::win32::NextStop(c.text, c.from), c.next);
    }
}

TEST(CaretStops, WordsRunBetweenBlanksAndLineBreaks) {
    const std::wstring text = L"17 in  x\r\nab";
    const struct {
        std::size_t from;
        std::size_t next;
        std::size_t previous;
    } cases[] = {
        {0, 3, 0},  {1, 3, 0},  {3, 7, 0},   {4, 7, 3},
        {7, 10, 3}, {8, 10, 7}, {10, 12, 7}, {12, 12, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        EXPECT_EQ(ui::win32::NextWordStart(text, c.from), c.next);
        EXPECT_EQ(ui::win32::PreviousWordStart(text, c.from), c.previous);
    }
    const struct {
        std::size_t at;
        std::size_t start;
        std::size_t end;
    } words[] = {{0, 0, 2}, {2, 0, 2}, {3, 3, 5}, {5, 3, 5}, {6, 5, 7}, {11, 10, 12}, {12, 10, 12}};
    for (const auto& w : words) {
        SCOPED_TRACE(w.at);
        const auto word = ui::win32::WordAt(text, w.at);
        EXPECT_EQ(word.start, w.start);
        EXPECT_EQ(word.end, w.end);
    }
}

// --- Undo and Redo -----------------------------------------------------------

TEST(FieldContentHistory, EachEditIsTakenBackAndMadeAgainExactly) {
    FieldContent content;
    content.SetText(L"0123456789");
    EXPECT_FALSE(content.CanUndo()) << "the program's text is not undone";
    // Typing runs on into one edit; BackSpaces too; a paste is one of its own.
    content.Replace(10, 10, L"a", true);
    content.Replace(11, 11, L"b", true);
    content.Replace(11, 12, L"", true);
    content.Replace(10, 11, L"", true);
    content.Replace(9, 10, L"", true);
    EXPECT_EQ(content.Text(), L"012345678");
    content.Replace(2, 4, L"PASTED", false);
    EXPECT_EQ(content.Text(), L"01PASTED45678");
    const std::vector<std::wstring> back{L"012345678", L"0123456789ab", L"0123456789"};
    for (const auto& expected : back) {
        ASSERT_TRUE(content.Undo());
        EXPECT_EQ(content.Text(), expected);
    }
    EXPECT_FALSE(content.Undo());
    EXPECT_EQ(content.Text(), L"0123456789");
    // The typed run came back as one: after it, the BackSpaces.
    ASSERT_TRUE(content.Redo());
    EXPECT_EQ(content.Text(), L"0123456789ab");
    EXPECT_EQ(content.SelectionStart(), 10u);
    EXPECT_EQ(content.SelectionEnd(), 12u) << "what came back is selected";
    // A new edit drops what could be made again.
    content.Replace(0, 0, L"x", true);
    EXPECT_FALSE(content.CanRedo());
    EXPECT_FALSE(content.Redo());
    // Typing over a selection and on is one edit too.
    content.SetText(L"17 inches");
    content.Replace(3, 9, L"c", true);
    content.Replace(4, 4, L"m", true);
    EXPECT_EQ(content.Text(), L"17 cm");
    ASSERT_TRUE(content.Undo());
    EXPECT_EQ(content.Text(), L"17 inches");
    EXPECT_FALSE(content.CanUndo());
}

TEST(FieldContentHistory, EditsKeepToCaretStops) {
    FieldContent content;
    content.SetText(L"a\r\nb\xD83D\xDE00");
    // Inside a line break or a pair, the edit starts at the stop before.
    content.Replace(2, 2, L"x", false);
    EXPECT_EQ(content.Text(), L"ax\r\nb\xD83D\xDE00");
    content.Select(6, 6);
    EXPECT_EQ(content.Caret(), 5u);
    ASSERT_TRUE(content.Undo());
    EXPECT_EQ(content.Text(), L"a\r\nb\xD83D\xDE00");
}

// --- What a line breaker says ----------------------------------------------

// A line breaker from a table, answering for these characters as Uniscribe
// does: a row may start after blanks, and before or after an ideograph, but
// never before closing punctuation nor after opening; the caret never stops
// before a mark or a vowel sign.
class TableAnalysis final : public TextAnalysis {
public:
    void Analyse(std::wstring_view line, std::uint8_t* flags) override {
        ++calls;
        units += line.size();
        for (std::size_t at = 0; at < line.size(); ++at) {
            const Kind kind = KindOf(line[at]);
            const Kind before = at > 0 ? KindOf(line[at - 1]) : Kind::Space;
            unsigned set = 0;
            if (kind == Kind::Space)
                set |= ui::win32::Blank;
            if (kind != Kind::Mark)
                set |= ui::win32::StopBefore;
            if (at > 0 && kind != Kind::Space && kind != Kind::Close && kind != Kind::Mark &&
                before != Kind::Open &&
                (before == Kind::Space || before == Kind::Ideograph || before == Kind::Close ||
                 kind == Kind::Ideograph))
                set |= ui::win32::BreakBefore;
            flags[at] = static_cast<std::uint8_t>(set);
        }
    }
    int calls = 0;
    std::size_t units = 0;

private:
    enum class Kind { Letter, Space, Ideograph, Open, Close, Mark };
    static Kind KindOf(wchar_t unit) {
        if (unit == L' ' || unit == L'\t' || unit == 0x3000)
            return Kind::Space;
        if (unit >= 0x4E00 && unit < 0xA000)
            return Kind::Ideograph;
        if (unit == 0xFF08 || unit == 0x300C)
            return Kind::Open;
        if (unit == 0xFF0C || unit == 0x3002 || unit == 0xFF09 || unit == 0x300D)
            return Kind::Close;
        // Combining marks, the Devanagari vowel sign i, the Thai vowel sign i.
        if ((unit >= 0x300 && unit < 0x370) || unit == 0x93F || unit == 0xE34)
            return Kind::Mark;
        return Kind::Letter;
    }
};

// Rows and caret moves over the table's answers.
class Analysed : public ::testing::Test {
protected:
    TableAnalysis analysis_;
    TextBreaks breaks_{analysis_};
};

TEST_F(Analysed, CaretStopsWhereTheAnalysisAndTheCharactersBothAllow) {
    const struct {
        const char* name;
        std::wstring_view text;
        std::vector<std::size_t> stops;
    } cases[] = {
        // क|ि and ก|ิ are one cluster each; a pair and a line break stay whole.
        {"a Devanagari cluster", L"\x0915\x093F\x0915", {0, 2, 3}},
        {"a Thai cluster", L"\x0E01\x0E34\x0E01", {0, 2, 3}},
        {"a pair and a line break", L"a\xD83D\xDE00\r\nb", {0, 1, 3, 5, 6}},
        // A line's ends are stops even before a mark.
        {"a mark at a line's start", L"a\r\n\x093F", {0, 1, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::size_t> forward{0};
        while (forward.back() < c.text.size())
            forward.push_back(breaks_.NextStop(c.text, forward.back()));
        EXPECT_EQ(forward, c.stops);
        std::vector<std::size_t> back{c.text.size()};
        while (back.back() > 0)
            back.push_back(breaks_.PreviousStop(c.text, back.back()));
        EXPECT_EQ(std::vector<std::size_t>(back.rbegin(), back.rend()), c.stops);
    }
}

// Blocks are asked with their context and kept; a kept block is never
// handed out for a text that changed under it, even to one of the same
// length.
TEST_F(Analysed, BlocksAnswerAsTheWholeLineAndNeverForAnOldText) {
    std::wstring text;
    for (int i = 0; i < 3000; ++i)
        text += i % 7 == 3 ? L"\x0915\x093F" : i % 5 == 0 ? L" " : L"\x4E2D";
    std::vector<std::uint8_t> whole(text.size());
    TableAnalysis reference;
    reference.Analyse(text, whole.data());
    for (std::size_t at = 0; at < text.size(); ++at)
        ASSERT_EQ(breaks_.Around(text, at).At(at), whole[at]) << at;
    const int calls = analysis_.calls;
    EXPECT_EQ(breaks_.Around(text, 5).At(5), whole[5]);
    EXPECT_EQ(analysis_.calls, calls) << "a block kept is asked again";
    // A vowel sign becomes a letter: the caret may stop before it now.
    const std::size_t sign = text.find(L'\x093F');
    EXPECT_FALSE(breaks_.IsStop(text, sign));
    text[sign] = L'a';
    EXPECT_TRUE(breaks_.IsStop(text, sign));
    // A change in a block's context counts too.
    const std::size_t edge = TextBreaks::BlockUnits;
    text[edge - 1] = 0xFF08;
    text[edge] = 0x4E2D;
    EXPECT_FALSE(breaks_.Around(text, edge).At(edge) & ui::win32::BreakBefore)
        << "after opening punctuation at the end of the block before";
}

// --- Rows --------------------------------------------------------------------

// Every character 10 pixels wide, marks none, a pair 20.
class EvenWidths final : public CharacterWidths {
public:
    EvenWidths() { Reset(40); }

private:
    void Measure(char32_t first, std::size_t count, int* widths) override {
        for (std::size_t i = 0; i < count; ++i) {
            const char32_t c = first + static_cast<char32_t>(i);
            widths[i] = (c >= 0x300 && c < 0x370) ? 0 : c >= 0x10000 ? 20 : 10;
        }
    }
};

// Blanks and "i" narrow, Han characters and pairs wide, marks nothing.
class MixedWidths final : public CharacterWidths {
public:
    MixedWidths() { Reset(40); }

private:
    void Measure(char32_t first, std::size_t count, int* widths) override {
        for (std::size_t i = 0; i < count; ++i) {
            const char32_t c = first + static_cast<char32_t>(i);
            widths[i] = (c >= 0x300 && c < 0x370)   ? 0
                        : c == U' ' || c == U'i'    ? 3
                        : c >= 0x4E00 && c < 0xA000 ? 20
                        : c >= 0x10000              ? 22
                                                    : 10;
        }
    }
};

// A text's units in hexadecimal, to read in a failure.
std::string Units(std::wstring_view text) {
    std::string units;
    char unit[8];
    for (const wchar_t c : text) {
        std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(c));
        units += unit;
    }
    return units;
}

std::vector<std::size_t> StartsOf(const FieldRows& rows) {
    std::vector<std::size_t> starts;
    for (std::size_t row = 0; row < rows.Count(); ++row)
        starts.push_back(rows.Start(row));
    return starts;
}

std::vector<std::wstring> RowsOf(const FieldRows& rows, std::wstring_view text) {
    std::vector<std::wstring> shown;
    for (std::size_t row = 0; row < rows.Count(); ++row)
        shown.emplace_back(text.substr(rows.Start(row), rows.End(text, row) - rows.Start(row)));
    return shown;
}

class FieldRowsWrap : public Analysed {};
class FieldRowsFollow : public Analysed {};

TEST_F(FieldRowsWrap, LinesBreakWhereTheAnalysisLetsThemOrElseAfterTheLastCharacterThatFits) {
    const struct {
        const char* name;
        std::wstring text;
        std::vector<std::wstring> rows;
    } cases[] = {
        {"empty", L"", {L""}},
        {"fits", L"abcd", {L"abcd"}},
        {"one long word", L"abcdefghij", {L"abcd", L"efgh", L"ij"}},
        {"after a blank", L"ab cdef gh", {L"ab ", L"cdef ", L"gh"}},
        // Blanks hang past the row's end rather than starting the next.
        {"blanks hang", L"abcd   ef", {L"abcd   ", L"ef"}},
        {"line breaks", L"ab\r\n\r\ncd", {L"ab", L"", L"cd"}},
        {"a break at the end", L"ab\r\n", {L"ab", L""}},
        {"a pair stays whole", L"abc\xD83D\xDE00", {L"abc", L"\xD83D\xDE00"}},
        {"a mark stays with its letter", L"abcde\x0301\x0301xy", {L"abcd", L"e\x0301\x0301xy"}},
        {"a tab to the next stop", L"a\tbcdefg", {L"a\t", L"bcde", L"fg"}},
        {"between ideographs",
         L"ab\x4E00\x4E01\x4E02\x4E03\x4E04",
         {L"ab\x4E00\x4E01", L"\x4E02\x4E03\x4E04"}},
        // The ideograph before closing punctuation goes down with it, and
        // opening punctuation with the ideograph after it.
        {"never before closing punctuation",
         L"\x4E00\x4E01\x4E02\x4E03\xFF0C\x4E04",
         {L"\x4E00\x4E01\x4E02", L"\x4E03\xFF0C\x4E04"}},
        {"never after opening punctuation",
         L"\x4E00\x4E01\x4E02\xFF08\x4E03\x4E04",
         {L"\x4E00\x4E01\x4E02", L"\xFF08\x4E03\x4E04"}},
        {"a cluster stays whole", L"abc\x0915\x093F", {L"abc", L"\x0915\x093F"}},
        // Blanks hang past the row's end, up to a row's width of the run;
        // more wrap as any other text does.
        {"blanks wider than a row",
         L"ab" + std::wstring(12, L' ') + L"c",
         {L"ab    ", L"    ", L"    ", L"c"}},
        {"a line of blanks", std::wstring(10, L' '), {L"    ", L"    ", L"  "}},
    };
    EvenWidths widths;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FieldRows rows{breaks_};
        rows.Wrap(c.text, 45, widths);
        EXPECT_EQ(RowsOf(rows, c.text), c.rows);
    }
}

TEST_F(FieldRowsWrap, RowsOfAPositionAndTheEndOfAWrappedRow) {
    EvenWidths widths;
    const std::wstring text = L"abcdefgh\r\nij";
    FieldRows rows{breaks_};
    rows.Wrap(text, 45, widths);
    ASSERT_EQ(rows.Count(), 3u);
    EXPECT_EQ(rows.RowOf(text, 3), 0u);
    EXPECT_EQ(rows.RowOf(text, 4), 1u) << "a wrapped row's end is the next one's start";
    EXPECT_EQ(rows.RowOf(text, 4, true), 0u) << "unless the caret shows at the end";
    EXPECT_EQ(rows.RowOf(text, 8, true), 1u) << "a line break's row has its own end";
    EXPECT_EQ(rows.RowOf(text, 10, true), 2u) << "after a line break: never the row before";
    EXPECT_EQ(rows.RowOf(text, 12), 2u);
}

// Rows followed through an edit are the rows of the new text wrapped anew:
// edits at the start, middle and end, over row ends, blanks and line breaks.
TEST_F(FieldRowsFollow, AfterAnyEditTheRowsAreThoseOfTheTextWrappedAnew) {
    const std::wstring base =
        L"abcdefgh ijkl mnopqrstuvwx\r\nyz 0123 45\r\n\r\n6789abcdefghijklmnop q";
    const struct {
        const char* name;
        std::size_t at;
        std::size_t removed;
        std::wstring_view inserted;
    } cases[] = {
        {"typed at the start", 0, 0, L"x"},
        {"typed in a long word", 17, 0, L"x"},
        {"a blank typed in a long word", 17, 0, L" "},
        {"a blank taken out", 8, 1, L""},
        {"the first character of a row taken out", 4, 1, L""},
        {"a line break taken out", 26, 2, L""},
        {"a line break typed", 5, 0, L"\r\n"},
        {"many rows replaced", 3, 40, L"QQ"},
        {"a long paste", 30, 0, L"0123456789012345678901234567890123456789"},
        {"typed at the end", base.size(), 0, L"zz"},
        {"all of it taken out", 0, base.size(), L""},
        {"a word shortened at a row's start pulls it back", 9, 3, L""},
    };
    EvenWidths widths;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FieldRows followed{breaks_};
        followed.Wrap(base, 45, widths);
        std::wstring text = base;
        text.replace(c.at, c.removed, c.inserted);
        followed.Follow(text, TextChange{c.at, c.removed, c.inserted.size()}, 45, widths);
        FieldRows anew{breaks_};
        anew.Wrap(text, 45, widths);
        EXPECT_EQ(RowsOf(followed, text), RowsOf(anew, text));
        ASSERT_EQ(followed.Count(), anew.Count());
        for (std::size_t row = 0; row < anew.Count(); ++row)
            EXPECT_EQ(followed.Start(row), anew.Start(row)) << row;
    }
}

// A word pushed down by a wide character after it, which no row may start
// before, comes back up when that character goes: two rows above the edit.
TEST_F(FieldRowsFollow, AWordPushedDownComesBackWhenWhatPushedItGoes) {
    MixedWidths widths;
    FieldContent content;
    content.SetText(L"i bcd");
    FieldRows rows{breaks_};
    rows.Wrap(content.Text(), 45, widths);
    // The text read after the edit, never in the same call: the order the
    // arguments are worked out in is the compiler's.
    const TextChange typed = content.Replace(5, 5, L"\xD83D\xDE00", true);
    rows.Follow(content.Text(), typed, 45, widths);
    EXPECT_EQ(StartsOf(rows), (std::vector<std::size_t>{0, 2, 5}));
    const TextChange deleted = content.Replace(5, 7, L"", true);
    rows.Follow(content.Text(), deleted, 45, widths);
    EXPECT_EQ(StartsOf(rows), std::vector<std::size_t>{0});
}

// Against the rows wrapped anew, for many small texts of every kind of
// character at many widths, each through a run of edits and Undos.
TEST_F(FieldRowsFollow, RunsOfEditsAndUndosKeepTheRowsOfTheTextWrappedAnew) {
    const std::wstring_view pieces[] = {L"a",      L"b",      L"i",       L" ",
                                        L"\t",     L"\x4E2D", L"\r\n",    L"\xD83D\xDE00",
                                        L"\x0301", L"\x200D", L"cdefgh",  L"\xFF0C",
                                        L"\xFF08", L"\x093F", L"        "};
    constexpr unsigned PieceCount = sizeof pieces / sizeof pieces[0];
    // A fixed sequence, so that a failure comes again.
    unsigned seed = 12345;
    const auto next = [&](std::size_t below) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::size_t>((seed >> 8) % below);
    };
    MixedWidths widths;
    for (int trial = 0; trial < 20000; ++trial) {
        FieldContent content;
        std::wstring text;
        for (std::size_t n = next(40); n > 0; --n)
            text += pieces[next(PieceCount)];
        content.SetText(text);
        const int width = 1 + static_cast<int>(next(80));
        FieldRows rows{breaks_};
        rows.Wrap(content.Text(), width, widths);
        for (int step = 0; step < 8; ++step) {
            const std::wstring before = content.Text();
            std::optional<TextChange> change;
            if (next(6) == 0) {
                change = content.Undo();
                if (!change)
                    continue;
            } else {
                const std::size_t at = next(before.size() + 1);
                std::wstring inserted;
                for (std::size_t n = next(3); n > 0; --n)
                    inserted += pieces[next(PieceCount)];
                change = content.Replace(at, at + next(4), inserted, next(2) == 0);
            }
            rows.Follow(content.Text(), *change, width, widths);
            FieldRows anew{breaks_};
            anew.Wrap(content.Text(), width, widths);
            ASSERT_EQ(StartsOf(rows), StartsOf(anew))
                << "trial " << trial << ", step " << step << ", width " << width << ", "
                << change->removed << " removed and " << change->inserted << " put in at "
                << change->at << " of " << before.size() << ": " << Units(before) << " -> "
                << Units(content.Text());
        }
    }
}

// --- Typed text in the order typed ------------------------------------------

// A field's text and rows as the field edits them: typing and pasting over
// the selection, BackSpace and Delete, Undo and Redo, the caret moved by
// Left and Right; the rows followed through each edit.
class EditedField {
public:
    explicit EditedField(int width, std::size_t historyFloor = FieldContent::HistoryFloor)
        : width_(width), content_(historyFloor) {}

    FieldContent& Content() { return content_; }
    const FieldRows& Rows() const { return rows_; }
    int Width() const { return width_; }
    MixedWidths& Widths() { return widths_; }

    void Put(std::wstring_view text, bool typed) {
        content_.Replace(content_.SelectionStart(), content_.SelectionEnd(), text, typed, Follow());
    }
    void BackSpace() {
        const std::size_t caret = content_.Caret();
        if (content_.HasSelection())
            Put({}, true);
        else if (caret > 0)
            content_.Replace(ui::win32::PreviousStop(content_.Text(), caret), caret, {}, true,
                             Follow());
    }
    void Delete() {
        const std::size_t caret = content_.Caret();
        if (content_.HasSelection())
            Put({}, true);
        else if (caret < content_.Text().size())
            content_.Replace(caret, ui::win32::NextStop(content_.Text(), caret), {}, true,
                             Follow());
    }
    void Undo() { content_.Undo(Follow()); }
    void Redo() { content_.Redo(Follow()); }
    void Arrow(bool right, bool shift) {
        const std::size_t caret = content_.Caret();
        std::size_t to = right ? ui::win32::NextStop(content_.Text(), caret)
                               : ui::win32::PreviousStop(content_.Text(), caret);
        if (content_.HasSelection() && !shift)
            to = right ? content_.SelectionEnd() : content_.SelectionStart();
        content_.Select(shift ? content_.Anchor() : to, to);
    }

    ChangeFollower Follow() {
        return [this](std::wstring_view text, const TextChange& change) {
            rows_.Follow(text, change, width_, widths_);
        };
    }

private:
    int width_;
    MixedWidths widths_;
    FieldContent content_;
    TableAnalysis analysis_;
    TextBreaks breaks_{analysis_};
    FieldRows rows_{breaks_};
};

std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }

// What the same edits make of a plain string: each goes exactly where the
// selection is, and Undo gives back the text before the last edit, or before
// the last run of typed keys.
class PlainText {
public:
    std::u16string text;
    std::size_t anchor = 0;
    std::size_t caret = 0;

    std::size_t Start() const { return std::min(anchor, caret); }
    std::size_t End() const { return std::max(anchor, caret); }

    void Replace(std::size_t start, std::size_t end, std::u16string_view with, bool typed) {
        anchor = caret = start + with.size();
        if (start == end && with.empty())
            return;
        Edit edit{text, text, start, end - start, with.size(), typed};
        edit.after.replace(start, end - start, with);
        text = edit.after;
        redo_.clear();
        if (undo_.empty() || !RanOn(undo_.back(), edit))
            undo_.push_back(edit);
    }
    void Undo() { Step(undo_, redo_, true); }
    void Redo() { Step(redo_, undo_, false); }

private:
    struct Edit {
        std::u16string before;
        std::u16string after;
        std::size_t at;
        std::size_t removed;
        std::size_t inserted;
        bool typed;
    };
    // Typed keys run on: typing where the last typing ended, and BackSpace or
    // Delete where the last one left the caret.
    static bool RanOn(Edit& last, const Edit& edit) {
        if (!last.typed || !edit.typed)
            return false;
        if (edit.removed == 0 && last.inserted > 0 && edit.at == last.at + last.inserted) {
            last.inserted += edit.inserted;
        } else if (edit.inserted == 0 && last.inserted == 0 &&
                   (edit.at + edit.removed == last.at || edit.at == last.at)) {
            last.at = edit.at;
            last.removed += edit.removed;
        } else {
            return false;
        }
        last.after = edit.after;
        return true;
    }
    void Step(std::vector<Edit>& from, std::vector<Edit>& to, bool back) {
        if (from.empty())
            return;
        Edit edit = from.back();
        from.pop_back();
        text = back ? edit.before : edit.after;
        anchor = edit.at;
        caret = edit.at + (back ? edit.removed : edit.inserted);
        edit.typed = false;
        to.push_back(edit);
    }

    std::vector<Edit> undo_;
    std::vector<Edit> redo_;
};

// Thousands of random edits among joiners, marks and pairs, where an edit's
// end is often no caret stop: after each, the text and selection are what a
// plain string given the same edits holds, and the rows those of the text
// wrapped anew.
TEST(FieldContentTyping, RandomEditsHoldWhatAPlainStringHolds) {
    const std::u16string_view pieces[] = {
        u"a",      u"b",      u" ",      u"\x4E2D", u"\r\n",   u"\xD83D\xDC68", u"\xD83D\xDC69",
        u"\x0301", u"\x0308", u"\x200D", u"\xFE0F", u"\x0E01", u"\x0E34",       u"\x0915",
        u"\x093F"};
    constexpr unsigned PieceCount = sizeof pieces / sizeof pieces[0];
    enum Act { Type, Paste, SelectAndType, BackSpace, Delete, Undo, Redo, Arrow, ActCount };
    // Fixed seeds, so that a failure comes again.
    for (unsigned seed = 1; seed <= 20; ++seed) {
        unsigned state = seed;
        const auto next = [&](std::size_t below) {
            state = state * 1103515245u + 12345u;
            return static_cast<std::size_t>((state >> 8) % below);
        };
        // Where a key may put the caret, on the plain string.
        const auto stopAtOrBefore = [](std::u16string_view text, std::size_t at) {
            const std::wstring wide = Wide(text);
            at = std::min(at, wide.size());
            while (at > 0 && !ui::win32::IsCaretStop(wide, at))
                --at;
            return at;
        };
        EditedField field(20 + static_cast<int>(next(60)));
        PlainText plain;
        for (int step = 0; step < 300; ++step) {
            const auto act = static_cast<Act>(next(ActCount));
            std::u16string put;
            for (std::size_t n = act == Paste ? 1 + next(4) : 1; n > 0; --n)
                put += pieces[next(PieceCount)];
            const std::wstring before = Wide(plain.text);
            switch (act) {
            case SelectAndType:
                plain.anchor = stopAtOrBefore(plain.text, next(plain.text.size() + 1));
                plain.caret = stopAtOrBefore(plain.text, next(plain.text.size() + 1));
                field.Content().Select(plain.anchor, plain.caret);
                [[fallthrough]];
            case Type:
            case Paste:
                field.Put(Wide(put), act != Paste);
                plain.Replace(plain.Start(), plain.End(), put, act != Paste);
                break;
            case BackSpace:
                field.BackSpace();
                if (plain.anchor != plain.caret || plain.caret > 0)
                    plain.Replace(plain.anchor != plain.caret
                                      ? plain.Start()
                                      : ui::win32::PreviousStop(before, plain.caret),
                                  plain.End(), u"", true);
                break;
            case Delete:
                field.Delete();
                if (plain.anchor != plain.caret || plain.caret < plain.text.size())
                    plain.Replace(plain.Start(),
                                  plain.anchor != plain.caret
                                      ? plain.End()
                                      : ui::win32::NextStop(before, plain.caret),
                                  u"", true);
                break;
            case Undo:
                field.Undo();
                plain.Undo();
                break;
            case Redo:
                field.Redo();
                plain.Redo();
                break;
            case Arrow:
            case ActCount: {
                const bool right = next(2) == 0;
                const bool shift = next(3) == 0;
                field.Arrow(right, shift);
                std::size_t to = right ? ui::win32::NextStop(before, plain.caret)
                                       : ui::win32::PreviousStop(before, plain.caret);
                if (plain.anchor != plain.caret && !shift)
                    to = right ? plain.End() : plain.Start();
                plain.anchor = stopAtOrBefore(plain.text, shift ? plain.anchor : to);
                plain.caret = stopAtOrBefore(plain.text, to);
                break;
            }
            }
            const FieldContent& content = field.Content();
            ASSERT_TRUE(content.Text() == Wide(plain.text))
                << "seed " << seed << ", step " << step << ", act " << act;
            ASSERT_EQ(content.Anchor(), plain.anchor) << "seed " << seed << ", step " << step;
            ASSERT_EQ(content.Caret(), plain.caret) << "seed " << seed << ", step " << step;
            TableAnalysis analysis;
            TextBreaks breaks{analysis};
            FieldRows anew{breaks};
            anew.Wrap(content.Text(), field.Width(), field.Widths());
            ASSERT_EQ(StartsOf(field.Rows()), StartsOf(anew))
                << "seed " << seed << ", step " << step;
        }
    }
}

// --- Nothing half changed --------------------------------------------------

// Each allocation an edit makes, made to fail in turn: the text, selection,
// rows and history stay exactly as they were, and the edit goes through once
// memory is there.
TEST(FieldContentFailure, AnEditThatRunsOutOfMemoryChangesNothing) {
    const std::wstring start = L"17 inches \x4E2D\x6587 and a long word, to wrap over rows";
    const struct {
        const char* name;
        void (*prepare)(EditedField&);
        void (*edit)(EditedField&);
    } cases[] = {
        {"typing", [](EditedField&) {}, [](EditedField& f) { f.Put(L"x", true); }},
        {"typing on", [](EditedField& f) { f.Put(L"x", true); },
         [](EditedField& f) { f.Put(L"y", true); }},
        {"a paste over a selection", [](EditedField& f) { f.Content().Select(3, 9); },
         [](EditedField& f) { f.Put(L"centimetres\r\nand\xD83D\xDE00 more", false); }},
        {"BackSpace on", [](EditedField& f) { f.BackSpace(); },
         [](EditedField& f) { f.BackSpace(); }},
        {"Delete of all", [](EditedField& f) { f.Content().Select(0, f.Content().Text().size()); },
         [](EditedField& f) { f.Delete(); }},
        {"Undo", [](EditedField& f) { f.Put(L"pasted", false); }, [](EditedField& f) { f.Undo(); }},
        {"Redo",
         [](EditedField& f) {
             f.Put(L"pasted", false);
             f.Undo();
         },
         [](EditedField& f) { f.Redo(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool failedOnce = false;
        for (std::size_t index = 0;; ++index) {
            SCOPED_TRACE(index);
            EditedField field(120);
            field.Put(start, false);
            field.Content().Select(20, 20);
            c.prepare(field);
            const FieldContent before = field.Content();
            const std::vector<std::size_t> rowsBefore = StartsOf(field.Rows());
            bool failed = false;
            {
                const FailingAllocation outOfMemory(index);
                try {
                    c.edit(field);
                } catch (const std::bad_alloc&) {
                }
                failed = outOfMemory.Failed();
            }
            if (!failed)
                break;
            failedOnce = true;
            FieldContent& after = field.Content();
            EXPECT_EQ(after.Text(), before.Text());
            EXPECT_EQ(after.Anchor(), before.Anchor());
            EXPECT_EQ(after.Caret(), before.Caret());
            EXPECT_EQ(StartsOf(field.Rows()), rowsBefore);
            TableAnalysis analysis;
            TextBreaks breaks{analysis};
            FieldRows anew{breaks};
            anew.Wrap(after.Text(), field.Width(), field.Widths());
            EXPECT_EQ(StartsOf(field.Rows()), StartsOf(anew));
            // The same history: every step back and forth gives the same texts.
            FieldContent expected = before;
            while (expected.CanUndo()) {
                ASSERT_TRUE(after.Undo());
                expected.Undo();
                EXPECT_EQ(after.Text(), expected.Text());
            }
            EXPECT_FALSE(after.CanUndo());
            while (expected.CanRedo()) {
                ASSERT_TRUE(after.Redo());
                expected.Redo();
                EXPECT_EQ(after.Text(), expected.Text());
            }
            EXPECT_FALSE(after.CanRedo());
        }
        EXPECT_TRUE(failedOnce) << "the edit allocated nothing";
    }
}

// --- The history's bound ---------------------------------------------------

// Pasting and deleting a long text again and again: the history stays within
// its budget, dropping the oldest edits first, and the newest can still be
// undone exactly.
TEST(FieldContentHistory, TheHistoryKeepsWithinItsBudgetDroppingTheOldestFirst) {
    constexpr std::size_t Floor = 1 << 20;
    const std::wstring pasted(100000, L'x');
    FieldContent content(Floor);
    for (int cycle = 0; cycle < 20; ++cycle) {
        content.Replace(0, 0, pasted, false);
        content.Replace(0, content.Text().size(), {}, false);
        EXPECT_LE(content.HistoryBytes(), content.HistoryBudget()) << cycle;
    }
    EXPECT_EQ(content.HistoryBudget(), Floor) << "the floor, for an empty text";
    // Each cycle keeps two edits of 200,000 bytes; a megabyte holds two cycles.
    int undone = 0;
    while (content.Undo()) {
        ++undone;
        EXPECT_EQ(content.Text(), undone % 2 ? pasted : L"") << undone;
    }
    EXPECT_GE(undone, 4);
    EXPECT_LT(undone, 10) << "40 edits were made";

    // A text larger than the floor: four times its size, here 8 MB for 2 MB,
    // where each of the text's replacements keeps 4 MB.
    FieldContent large(Floor);
    const std::wstring texts[] = {std::wstring(Floor, L'y'), std::wstring(Floor, L'z')};
    large.Replace(0, 0, texts[0], false);
    for (int replaced = 1; replaced <= 5; ++replaced)
        large.Replace(0, large.Text().size(), texts[replaced % 2], false);
    EXPECT_EQ(large.HistoryBudget(), 4 * Floor * sizeof(wchar_t));
    EXPECT_LE(large.HistoryBytes(), large.HistoryBudget());
    int steps = 0;
    while (large.Undo()) {
        ++steps;
        EXPECT_TRUE(large.Text() == texts[(5 - steps) % 2]) << steps;
    }
    EXPECT_GE(steps, 1);
    EXPECT_LT(steps, 5);
}

// The newest edit stays whatever its size: the last thing done can be undone.
TEST(FieldContentHistory, TheNewestEditIsKeptWhateverItsSize) {
    FieldContent content(1000);
    const std::wstring text(5000, L'x');
    content.Replace(0, 0, L"ab", true);
    content.Replace(0, 0, text, false);
    content.Replace(0, content.Text().size(), {}, false);
    EXPECT_GT(content.HistoryBytes(), content.HistoryBudget());
    ASSERT_TRUE(content.Undo());
    EXPECT_EQ(content.Text(), text + L"ab");
    EXPECT_FALSE(content.Undo()) << "the older edits were dropped";
}

} // namespace
} // namespace quimbel::testing
