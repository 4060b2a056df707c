// The Qt field keeps a long line as a run of short paragraphs joined by marks
// that are not part of the text. These tests check that the user never sees
// the joins: the text read back, the keys at a join, Enter, pasting, copying
// and undo all act on the one line the user typed or pasted.

#include "TextField.h"
#include "Appearance.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

// Failures show the texts, cut down around their first difference.
void PrintTo(const QString& text, std::ostream* out) {
    *out << text.size() << " characters: \"" << text.left(40).toStdString()
         << (text.size() > 40 ? "…" : "") << '"';
}

namespace quimbel::testing {
namespace {

using ui::TextField;

// Digits over and over: neighbours always differ, so deleting one character
// or the next never gives the same text.
QString Digits(qsizetype length) {
    QString text;
    text.reserve(length);
    for (qsizetype i = 0; i < length; ++i)
        text += QChar(char16_t(u'0' + i % 10));
    return text;
}

QString Shown(QStringView text) {
    return text.toString().replace(QChar(u'\n'), QStringLiteral("\\n"));
}

// Equal texts, or where they first differ.
::testing::AssertionResult SameText(const QString& read, const QString& expected) {
    if (read == expected)
        return ::testing::AssertionSuccess();
    qsizetype at = 0;
    while (at < read.size() && at < expected.size() && read[at] == expected[at])
        ++at;
    const qsizetype from = std::max<qsizetype>(0, at - 20);
    return ::testing::AssertionFailure()
           << "read " << read.size() << " characters, expected " << expected.size()
           << "; first difference at " << at << ":\n  read     \""
           << Shown(read.mid(from, 40)).toStdString() << "\"\n  expected \""
           << Shown(expected.mid(from, 40)).toStdString() << '"';
}

QString Repeat(QStringView piece, qsizetype times) {
    QString text;
    for (qsizetype i = 0; i < times; ++i)
        text += piece;
    return text;
}

struct Paragraph {
    QString text;
    bool continues;
};

// The field as the program makes it: narrow, wrapping anywhere.
class TextFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        field.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        field.setWordWrapMode(QTextOption::WrapAnywhere);
        field.setTabChangesFocus(true);
        field.document()->setDocumentMargin(2);
        field.resize(105, 41);
        field.show();
        field.setFocus();
    }

    std::vector<Paragraph> Paragraphs() const {
        std::vector<Paragraph> paragraphs;
        for (QTextBlock block = field.document()->begin(); block.isValid(); block = block.next())
            paragraphs.push_back({block.text(), TextField::ContinuesLine(block)});
        return paragraphs;
    }

    // What the user must never see: a paragraph past the bound (each key
    // would lay all of it out again) or an empty paragraph joined to its
    // neighbour (an empty line that is not in the text).
    void ExpectTidy() const {
        const std::vector<Paragraph> paragraphs = Paragraphs();
        ASSERT_FALSE(paragraphs.empty());
        EXPECT_FALSE(paragraphs.front().continues);
        for (std::size_t i = 0; i < paragraphs.size(); ++i) {
            SCOPED_TRACE("paragraph " + std::to_string(i));
            EXPECT_LE(paragraphs[i].text.size(), TextField::MaxPieceLength);
            if (paragraphs[i].continues) {
                EXPECT_FALSE(paragraphs[i].text.isEmpty());
                EXPECT_FALSE(paragraphs[i - 1].text.isEmpty());
            }
        }
    }

    // The document position at the end of the first paragraph, and the
    // logical index of the text there: where the first join is.
    int FirstJoin() const {
        const QTextBlock second = field.document()->begin().next();
        EXPECT_TRUE(TextField::ContinuesLine(second)) << "the text has no join";
        return second.position() - 1;
    }

    // The document position of a character of the text; at a join, the
    // start of the later paragraph.
    int PositionOf(int index) const {
        int at = 0;
        for (QTextBlock block = field.document()->begin(); block.isValid(); block = block.next()) {
            if (block.previous().isValid() && !TextField::ContinuesLine(block)) {
                if (index == at)
                    return block.position() - 1;
                ++at;
            }
            const int length = block.length() - 1;
            if (index < at + length)
                return block.position() + (index - at);
            at += length;
        }
        return field.document()->characterCount() - 1;
    }

    void PutCaret(int position, int anchor = -1) {
        QTextCursor cursor(field.document());
        cursor.setPosition(anchor < 0 ? position : anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        field.setTextCursor(cursor);
    }

    void UndoAll() {
        while (field.document()->isUndoAvailable())
            field.undo();
    }
    void RedoAll() {
        while (field.document()->isRedoAvailable())
            field.redo();
    }

    TextField field;
};

// --- The text read back -----------------------------------------------------

struct RoundTrip {
    const char* name;
    QString set;
    QString read;
};

void PrintTo(const RoundTrip& c, std::ostream* out) { *out << c.name; }

const QString LongDigits = Digits(3 * TextField::PieceLength + 123);
const QString LongWords = Repeat(u"17 inch display, 41.99 cm across. ", 300);

// Line breaks as the text edit always took them; a no-break space and a line
// separator read as the text edit always read them.
const RoundTrip RoundTrips[] = {
    {"Empty", "", ""},
    {"Number", "17", "17"},
    {"TrailingBreak", "17\n", "17\n"},
    {"OnlyBreaks", "\n\n", "\n\n"},
    {"Chinese", QStringLiteral("１７英寸 — 显示屏\n第二行"),
     QStringLiteral("１７英寸 — 显示屏\n第二行")},
    {"LongLine", LongDigits, LongDigits},
    {"LongLineOfWords", LongWords, LongWords},
    {"LongLinesAndEmptyLines", LongDigits + "\n\n" + LongWords + "\n" + LongDigits,
     LongDigits + "\n\n" + LongWords + "\n" + LongDigits},
    {"SurrogatePairs", Repeat(u"😀", 3000), Repeat(u"😀", 3000)},
    {"CombiningMarks", Repeat(u"e\u0301", 3000), Repeat(u"e\u0301", 3000)},
    {"CarriageReturns", "a\r\nb\rc", "a\nb\nc"},
    {"ParagraphSeparator", QStringLiteral("a\u2029b"), "a\nb"},
    {"LineSeparator", QStringLiteral("a\u2028b"), "a\nb"},
    {"NoBreakSpace", QStringLiteral("17\u00a0in"), "17 in"},
};

class TextRoundTrip : public TextFieldTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(TextRoundTrip, SetTextReadsBackAsTheTextEditWould) {
    field.SetText(GetParam().set);
    EXPECT_TRUE(SameText(field.Text(), GetParam().read));
    ExpectTidy();
    PutCaret(field.document()->characterCount() - 1, 0);
    EXPECT_TRUE(SameText(field.SelectedText(), GetParam().read));
}

INSTANTIATE_TEST_SUITE_P(Texts, TextRoundTrip, ::testing::ValuesIn(RoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TextFieldTest, AMegabyteLineIsStoredInBoundedParagraphs) {
    const QString line = "17 " + Repeat(u"abcdefghij", 100'000);
    field.SetText(line);
    EXPECT_TRUE(SameText(field.Text(), line));
    EXPECT_GE(field.document()->blockCount(), line.size() / TextField::MaxPieceLength);
    ExpectTidy();
}

TEST_F(TextFieldTest, PiecesEndAfterABlankOrBetweenWholeCharacters) {
    struct Case {
        const char* name;
        QString line;
        std::function<bool(const QString& before, const QString& after)> cleanCut;
    };
    const Case cases[] = {
        {"words", LongWords,
         [](const QString& before, const QString&) { return before.back().isSpace(); }},
        {"surrogate pairs", Repeat(u"😀", 3000),
         [](const QString& before, const QString& after) {
             return before.back().isHighSurrogate() == false &&
                    after.front().isLowSurrogate() == false;
         }},
        {"combining marks", Repeat(u"e\u0301", 3000),
         [](const QString&, const QString& after) { return !after.front().isMark(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        field.SetText(c.line);
        const std::vector<Paragraph> paragraphs = Paragraphs();
        ASSERT_GT(paragraphs.size(), 1u);
        for (std::size_t i = 1; i < paragraphs.size(); ++i)
            EXPECT_TRUE(c.cleanCut(paragraphs[i - 1].text, paragraphs[i].text)) << "join " << i;
    }
}

// --- Keys at a join -----------------------------------------------------------

enum class Side { EndOfFirst, StartOfSecond };

void PrintTo(Side side, std::ostream* out) {
    *out << (side == Side::EndOfFirst ? "at the end of the first paragraph"
                                      : "at the start of the second");
}

struct JoinKeys {
    const char* name;
    std::function<void(QWidget*)> press;
    // The text after the keys, from the text before and the logical index
    // of the first character after the join.
    std::function<QString(const QString&, int)> expected;
};

void PrintTo(const JoinKeys& keys, std::ostream* out) { *out << keys.name; }

const JoinKeys JoinCases[] = {
    {"Delete", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Delete); },
     [](const QString& t, int j) { return QString(t).remove(j, 1); }},
    {"Backspace", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Backspace); },
     [](const QString& t, int j) { return QString(t).remove(j - 1, 1); }},
    {"RightThenDelete",
     [](QWidget* w) {
         QTest::keyClick(w, Qt::Key_Right);
         QTest::keyClick(w, Qt::Key_Delete);
     },
     [](const QString& t, int j) { return QString(t).remove(j + 1, 1); }},
    {"LeftThenBackspace",
     [](QWidget* w) {
         QTest::keyClick(w, Qt::Key_Left);
         QTest::keyClick(w, Qt::Key_Backspace);
     },
     [](const QString& t, int j) { return QString(t).remove(j - 2, 1); }},
    {"ShiftRightThenType",
     [](QWidget* w) {
         QTest::keyClick(w, Qt::Key_Right, Qt::ShiftModifier);
         QTest::keyClicks(w, "x");
     },
     [](const QString& t, int j) { return QString(t).replace(j, 1, "x"); }},
    {"ShiftLeftThenType",
     [](QWidget* w) {
         QTest::keyClick(w, Qt::Key_Left, Qt::ShiftModifier);
         QTest::keyClicks(w, "x");
     },
     [](const QString& t, int j) { return QString(t).replace(j - 1, 1, "x"); }},
    {"Type", [](QWidget* w) { QTest::keyClicks(w, "x"); },
     [](const QString& t, int j) { return QString(t).insert(j, "x"); }},
    {"Enter", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); },
     [](const QString& t, int j) { return QString(t).insert(j, "\n"); }},
};

class KeysAtAJoin : public TextFieldTest,
                    public ::testing::WithParamInterface<std::tuple<JoinKeys, Side>> {};

// The end of one paragraph and the start of the next are the same place in
// the text; each key acts there as it would anywhere else in a line.
TEST_P(KeysAtAJoin, ActOnTheCharactersTheUserSeesAroundTheCaret) {
    const auto& [keys, side] = GetParam();
    const QString line = LongDigits;
    field.SetText(line);
    const int join = FirstJoin();
    PutCaret(side == Side::EndOfFirst ? join : join + 1);
    keys.press(&field);
    EXPECT_TRUE(SameText(field.Text(), keys.expected(line, join)));
    ExpectTidy();
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeysAtAJoin,
    ::testing::Combine(::testing::ValuesIn(JoinCases),
                       ::testing::Values(Side::EndOfFirst, Side::StartOfSecond)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == Side::EndOfFirst ? "_AtEndOfFirst" : "_AtStartOfSecond");
    });

// A new line typed inside a continuing paragraph must not take over its mark:
// the line break would vanish from the text.
TEST_F(TextFieldTest, EnterInsideAContinuingParagraphStartsARealLine) {
    field.SetText(LongDigits);
    const int at = FirstJoin() + 100;
    PutCaret(at + 1);
    QTest::keyClick(&field, Qt::Key_Return);
    QTest::keyClicks(&field, "17");
    EXPECT_TRUE(SameText(field.Text(), QString(LongDigits).insert(at, "\n17")));
    ExpectTidy();
}

TEST_F(TextFieldTest, ALineBreakFromAnInputMethodStartsARealLine) {
    field.SetText(LongDigits);
    const int at = FirstJoin() + 100;
    PutCaret(at + 1);
    QInputMethodEvent commit;
    commit.setCommitString("A\nB");
    QApplication::sendEvent(&field, &commit);
    EXPECT_TRUE(SameText(field.Text(), QString(LongDigits).insert(at, "A\nB")));
    ExpectTidy();
}

// A removal that starts where a paragraph starts empties that paragraph, and
// the text document then drops it and keeps the format of the last one: the
// line breaks must come out as the user sees them all the same, whether the
// field removes the text (Delete) or the text edit does (its menu, a drag).
TEST_F(TextFieldTest, RemovingFromAParagraphStartKeepsTheLineBreaks) {
    const QString text = LongDigits + "\n" + LongDigits;
    const int line2 = int(LongDigits.size()) + 1;
    field.SetText(text);
    const std::vector<Paragraph> paragraphs = Paragraphs();
    const int join = int(paragraphs[0].text.size());
    const int join2 = join + int(paragraphs[1].text.size());
    struct Case {
        const char* name;
        int from;
        int to;
    };
    const Case cases[] = {
        {"a line's start into its second paragraph", line2, line2 + join + 5},
        {"a paragraph's start across a line break", join, line2 + 5},
        {"a paragraph's start up to the next one", join, join2},
        {"the text's start into the second paragraph", 0, join + 5},
        {"a line's start up to its second paragraph", line2, line2 + join},
    };
    const std::pair<const char*, std::function<void(TextField&)>> removals[] = {
        {"Delete", [](TextField& f) { QTest::keyClick(&f, Qt::Key_Delete); }},
        {"the text edit",
         [](TextField& f) {
             QTextCursor cursor = f.textCursor();
             cursor.removeSelectedText();
         }},
    };
    for (const auto& [by, remove] : removals) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", removed by " + by);
            field.SetText(text);
            PutCaret(PositionOf(c.to), PositionOf(c.from));
            remove(field);
            EXPECT_TRUE(SameText(field.Text(), QString(text).remove(c.from, c.to - c.from)));
        }
    }
}

TEST_F(TextFieldTest, DeletingAWholeParagraphLeavesNoEmptyLine) {
    field.SetText(LongDigits);
    const QTextBlock second = field.document()->begin().next();
    const int from = second.position();
    const int to = from + second.length() - 1;
    PutCaret(to, from);
    QTest::keyClick(&field, Qt::Key_Delete);
    EXPECT_TRUE(SameText(field.Text(), QString(LongDigits).remove(from - 1, to - from)));
    ExpectTidy();
}

// Typing on and on into one paragraph splits it before each key gets slow;
// undo still takes the typing back to the start.
TEST_F(TextFieldTest, TypingPastTheBoundSplitsTheParagraph) {
    field.SetText(u"17 ");
    PutCaret(3);
    const QString typed = Digits(TextField::MaxPieceLength + 20);
    QTest::keyClicks(&field, typed);
    EXPECT_TRUE(SameText(field.Text(), "17 " + typed));
    EXPECT_GT(field.document()->blockCount(), 1);
    ExpectTidy();
    UndoAll();
    EXPECT_TRUE(SameText(field.Text(), "17 "));
    RedoAll();
    EXPECT_TRUE(SameText(field.Text(), "17 " + typed));
}

// --- Pasting and copying ---------------------------------------------------------

TEST_F(TextFieldTest, PastesThePlainTextOfWhatTheClipboardOffers) {
    struct Case {
        const char* name;
        std::function<QMimeData*()> offer;
        QString pasted;
    };
    const Case cases[] = {
        {"HTML beside the text",
         [] {
             auto* data = new QMimeData;
             data->setHtml("<b>41.99</b> cm");
             data->setText("41.99 cm");
             return data;
         },
         "41.99 cm"},
        // The text edit would read Markdown first when it is offered first.
        {"Markdown first",
         [] {
             auto* data = new QMimeData;
             data->setData("text/markdown", "# 17 *in*");
             data->setText("# 17 *in*");
             return data;
         },
         "# 17 *in*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        field.SetText(u"");
        QApplication::clipboard()->setMimeData(c.offer());
        field.paste();
        EXPECT_TRUE(SameText(field.Text(), c.pasted));
    }
}

TEST_F(TextFieldTest, ALongPasteUndoesAndRedoesAsOneStep) {
    field.SetText(u"17 in");
    PutCaret(3);
    const QString pasted = LongWords + "\n" + LongDigits;
    auto* data = new QMimeData;
    data->setText(pasted);
    QApplication::clipboard()->setMimeData(data);
    field.paste();
    const QString after = QString("17 in").insert(3, pasted);
    EXPECT_TRUE(SameText(field.Text(), after));
    ExpectTidy();
    field.undo();
    EXPECT_TRUE(SameText(field.Text(), "17 in"));
    field.redo();
    EXPECT_TRUE(SameText(field.Text(), after));
    ExpectTidy();
}

TEST_F(TextFieldTest, CopiesThePlainTextOfTheSelectionOnly) {
    const QString text = LongDigits + "\n" + LongWords;
    field.SetText(text);
    struct Case {
        const char* name;
        int anchor;
        int position;
        QString copied;
    };
    const int join = FirstJoin();
    const Case cases[] = {
        {"everything", 0, field.document()->characterCount() - 1, text},
        {"across a join", join - 5, join + 6, LongDigits.mid(join - 5, 10)},
        {"across a join and back", join + 6, join - 5, LongDigits.mid(join - 5, 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PutCaret(c.position, c.anchor);
        field.copy();
        const QMimeData* copied = QApplication::clipboard()->mimeData();
        ASSERT_NE(copied, nullptr);
        EXPECT_EQ(copied->formats(), QStringList{"text/plain"});
        EXPECT_TRUE(SameText(copied->text(), c.copied));
    }
}

// Replacing a long text starts a fresh document; it must be set up as the old
// one was, and copying must read the new one.
TEST_F(TextFieldTest, ReplacingALongTextKeepsTheFieldAsItWas) {
    // Twice: the second time replaces the text edit's own document, the
    // third one the field made.
    const QString longText(TextField::LongText + 1, u'7');
    field.SetText(longText);
    field.SetText(longText);
    EXPECT_TRUE(SameText(field.Text(), longText));
    field.selectAll();
    field.copy();
    const QFont font = field.document()->defaultFont();
    field.SetText(u"41.99");
    EXPECT_EQ(field.document()->documentMargin(), 2);
    EXPECT_EQ(field.document()->defaultTextOption().wrapMode(), QTextOption::WrapAnywhere);
    EXPECT_EQ(field.document()->defaultFont(), font);
    EXPECT_FALSE(field.document()->isUndoAvailable());
    EXPECT_EQ(field.textCursor().position(), 0);
    field.selectAll();
    field.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "41.99");
    QTest::keyClick(&field, Qt::Key_End);
    QTest::keyClicks(&field, " cm");
    EXPECT_TRUE(SameText(field.Text(), "41.99 cm"));
    field.undo();
    EXPECT_TRUE(SameText(field.Text(), "41.99"));
}

// --- Qt's own texts -----------------------------------------------------------

// The interface is Chinese, Qt's texts included: the test program starts as
// the program does, with Qt's translations installed whatever the locale.
TEST_F(TextFieldTest, TheContextMenuIsChinese) {
    field.SetText(u"17");
    field.selectAll();
    QApplication::clipboard()->setText("42");
    const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    ASSERT_NE(menu, nullptr);
    // Each entry without its shortcut, which follows a tab.
    QStringList entries;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            entries << action->text().section(u'\t', 0, 0);
    const QStringList chinese = {QStringLiteral("撤消(&U)"), QStringLiteral("重做(&R)"),
                                 QStringLiteral("剪切(&T)"), QStringLiteral("复制(&C)"),
                                 QStringLiteral("粘贴(&P)"), QStringLiteral("删除"),
                                 QStringLiteral("全选")};
    EXPECT_EQ(entries, chinese) << "install qt6-translations-l10n if these are English";
}

// Without the file the program runs on in English, and says why.
TEST(QtTranslations, AMissingFileIsSaidAndLeavesQtsTexts) {
    const QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    const QString before = QCoreApplication::translate("QWidgetTextControl", "&Copy");
    ::testing::internal::CaptureStderr();
    const bool installed = ui::InstallQtTranslations(
        *qobject_cast<QApplication*>(QCoreApplication::instance()), empty.path());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(installed);
    EXPECT_NE(said.find("qtbase_zh_CN.qm"), std::string::npos) << said;
    EXPECT_NE(said.find(empty.path().toStdString()), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(QCoreApplication::translate("QWidgetTextControl", "&Copy"), before);
}

} // namespace
} // namespace quimbel::testing
