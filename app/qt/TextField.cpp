#include "TextField.h"

#include "WindowPlan.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <functional>
#include <string_view>

namespace quimbel::ui {
namespace {

// Set on the character format of a paragraph separator that is not part of
// the text. Each separator carries its own format through removals, undo and
// redo; the text edit's own line breaks take the format of the text before
// them, which never has it.
constexpr int ContinuesProperty = QTextFormat::UserProperty + 1;

// The characters QTextCursor::insertText turns into a paragraph break ("\r\n"
// counts once); 0xFDD0 and 0xFDD1 are its frame marks.
bool IsBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xfdd0) ||
           c == QChar(0xfdd1);
}

// Where a piece of `line` that starts at `start` ends, at most `limit`
// characters on: after a blank near that limit when there is one (a word move
// stops there anyway), else where the plan's rule for pieces puts it.
qsizetype PieceEnd(QStringView line, qsizetype start, qsizetype limit) {
    const std::u16string_view units(line.utf16(), static_cast<std::size_t>(line.size()));
    const qsizetype end = start + limit;
    if (end >= line.size())
        return line.size();
    for (qsizetype i = end; i > end - limit / 8; --i)
        if (line[i - 1].isSpace() && MayEndPieceAt(units, static_cast<std::size_t>(i)))
            return i;
    return static_cast<qsizetype>(
        ui::PieceEnd(units, static_cast<std::size_t>(start), static_cast<std::size_t>(limit)));
}

enum class Way { None, Back, Forward };

struct Step {
    Way way = Way::None;
    bool extends = false;
};

bool IsBackspace(const QKeyEvent* event) {
    return event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier);
}

// Which way a key moves the caret or deletes, when it does either one
// character or word at a time.
Step StepOf(QKeyEvent* event, const QTextCursor& cursor) {
    // Left and Right are visual: in a right-to-left paragraph Right goes back.
    const bool rightToLeft = cursor.block().textDirection() == Qt::RightToLeft;
    const Way right = rightToLeft ? Way::Back : Way::Forward;
    const Way left = rightToLeft ? Way::Forward : Way::Back;
    // A plain move with a selection only collapses it.
    const bool collapses = cursor.hasSelection();
    if (event == QKeySequence::MoveToNextChar || event == QKeySequence::MoveToNextWord)
        return {collapses ? Way::None : right, false};
    if (event == QKeySequence::MoveToPreviousChar || event == QKeySequence::MoveToPreviousWord)
        return {collapses ? Way::None : left, false};
    if (event == QKeySequence::SelectNextChar || event == QKeySequence::SelectNextWord)
        return {right, true};
    if (event == QKeySequence::SelectPreviousChar || event == QKeySequence::SelectPreviousWord)
        return {left, true};
    // With a selection, the deleting keys delete just it.
    if (event == QKeySequence::Delete || event == QKeySequence::DeleteEndOfWord)
        return {collapses ? Way::None : Way::Forward, false};
    if (IsBackspace(event) || event == QKeySequence::DeleteStartOfWord)
        return {collapses ? Way::None : Way::Back, false};
    return {};
}

// At the end of a paragraph that the next one continues, the caret stands at
// the same place of the text as at the start of the next one: before a move
// or a deletion forward it goes there, so the key acts on the character the
// user sees next. Likewise backward.
bool StepOverJoin(QTextCursor& cursor, Step step) {
    const auto mode = step.extends ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    if (step.way == Way::Forward && cursor.atBlockEnd() &&
        TextField::ContinuesLine(cursor.block().next())) {
        cursor.setPosition(cursor.position() + 1, mode);
        return true;
    }
    if (step.way == Way::Back && cursor.atBlockStart() &&
        TextField::ContinuesLine(cursor.block())) {
        cursor.setPosition(cursor.position() - 1, mode);
        return true;
    }
    return false;
}

} // namespace

TextField::TextField(QWidget* parent) : QPlainTextEdit(parent) {
    connect(document(), &QTextDocument::contentsChange, this, &TextField::ForgetSelection);
    connect(this, &QPlainTextEdit::selectionChanged, this, &TextField::ForgetSelection);
    TakeOverTextReports();
}

void TextField::TakeOverTextReports() {
    connect(document(), &QTextDocument::contentsChange, this, &TextField::ReportChange);
    reportsChanges_ = SilenceControlReports();
    spoken_ = QString();
    spokenKnown_ = reportsChanges_ && QAccessible::isActive();
    if (spokenKnown_)
        spoken_ = DocumentText();
}

bool TextField::SilenceControlReports() {
    // The text edit's control reports each change of its document to screen
    // readers, with blanks for whatever was removed, so Orca says "space" for
    // each BackSpace; that report is all it listens to the change for. It
    // listens again whenever its text or document is set, so this is done
    // before each report of the field's own. Where the control cannot be
    // found (another Qt), its reports stay.
    bool found = false;
    for (QObject* child : children())
        if (child->inherits("QWidgetTextControl")) {
            disconnect(document(), &QTextDocument::contentsChange, child, nullptr);
            found = true;
        }
    return found;
}

QString TextField::DocumentText() const {
    QTextCursor cursor(document());
    cursor.select(QTextCursor::Document);
    return cursor.selectedText();
}

void TextField::ReportChange(int from, int removed, int added) {
    if (!reportsChanges_)
        return;
    if (!QAccessible::isActive()) {
        // Nobody listens: no copy of the text is kept.
        spoken_ = QString();
        spokenKnown_ = false;
        return;
    }
    // Connected after this slot, the control's report of this change is
    // not made either.
    SilenceControlReports();
    QTextCursor cursor(document());
    cursor.setPosition(from);
    // A change that replaces the whole document counts its final paragraph
    // mark, which is not text.
    cursor.setPosition(std::min(document()->characterCount() - 1, from + added),
                       QTextCursor::KeepAnchor);
    const QString inserted = cursor.selectedText();
    const bool known = spokenKnown_ && from <= spoken_.size();
    // What was there before, as far as the field knows it; a change made
    // before a screen reader came is reported as the text edit would.
    const QString old = known ? spoken_.mid(from, removed) : QString(removed, u' ');
    if (known)
        spoken_.replace(from, removed, inserted);
    if (!known || spoken_.size() != document()->characterCount() - 1)
        spoken_ = DocumentText();
    spokenKnown_ = true;
    // A change of format alone changes nothing a reader says.
    if (old == inserted)
        return;
    if (old.isEmpty()) {
        QAccessibleTextInsertEvent event(this, from, inserted);
        QAccessible::updateAccessibility(&event);
    } else if (inserted.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, from, old);
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessibleTextUpdateEvent event(this, from, old, inserted);
        QAccessible::updateAccessibility(&event);
    }
}

void TextField::focusInEvent(QFocusEvent* event) {
    // A screen reader that came after the text was set learns the removed
    // text from the first edit the user makes here on.
    if (reportsChanges_ && !spokenKnown_ && QAccessible::isActive()) {
        spoken_ = DocumentText();
        spokenKnown_ = true;
    }
    QPlainTextEdit::focusInEvent(event);
}

void TextField::ForgetSelection() {
    cacheStart_ = cacheEnd_ = -1;
    selectionCache_ = QString();
}

bool TextField::ContinuesLine(const QTextBlock& block) {
    // A paragraph's character format is that of the separator before it.
    return block.isValid() && block.previous().isValid() &&
           block.charFormat().boolProperty(ContinuesProperty);
}

QString TextField::Text() const { return TextBetween(0, document()->characterCount() - 1); }

QString TextField::SelectedText() const {
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return {};
    if (cursor.selectionStart() != cacheStart_ || cursor.selectionEnd() != cacheEnd_) {
        selectionCache_ = TextBetween(cursor.selectionStart(), cursor.selectionEnd());
        cacheStart_ = cursor.selectionStart();
        cacheEnd_ = cursor.selectionEnd();
    }
    return selectionCache_;
}

QString TextField::TextBetween(int from, int to) const {
    QString text;
    if (to <= from)
        return text;
    text.reserve(to - from);
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const int start = block.position();
        // The separator before this paragraph lies in the range.
        if (start > from && !ContinuesLine(block))
            text += u'\n';
        const int end = start + block.length() - 1;
        const int first = std::max(from, start);
        const int last = std::min(to, end);
        if (last > first) {
            const QString paragraph = block.text();
            text += QStringView(paragraph).mid(first - start, last - first);
        }
    }
    for (QChar& c : text) {
        if (c == QChar::LineSeparator)
            c = u'\n';
        else if (c == QChar::Nbsp)
            c = u' ';
    }
    return text;
}

void TextField::SetText(QStringView text) {
    // Empties the document, its storage and its undo history at once.
    if (document()->characterCount() > LongText)
        StartAfresh();
    else
        setPlainText(QString());
    if (text.isEmpty())
        return;
    QTextDocument* doc = document();
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    Insert(cursor, text);
    doc->setUndoRedoEnabled(undo);
    doc->setModified(false);
    setTextCursor(QTextCursor(doc));
}

void TextField::StartAfresh() {
    // A cleared document keeps the room its undo history grew to: 32 bytes
    // for each line of a long paste, held until the field is gone.
    QTextDocument* old = document();
    auto* fresh = new QTextDocument(this);
    fresh->setDocumentLayout(new QPlainTextDocumentLayout(fresh));
    fresh->setDefaultFont(old->defaultFont());
    fresh->setDefaultTextOption(old->defaultTextOption());
    fresh->setDocumentMargin(old->documentMargin());
    fresh->setUndoRedoEnabled(old->isUndoRedoEnabled());
    // The text edit deletes the document it made itself, in setDocument.
    const bool ours = old->parent() == this;
    setDocument(fresh);
    if (ours)
        delete old;
    connect(fresh, &QTextDocument::contentsChange, this, &TextField::ForgetSelection);
    // The text edit's control listens to the new document afresh.
    TakeOverTextReports();
    ForgetSelection();
}

void TextField::Insert(QTextCursor& cursor, QStringView text) {
    cursor.beginEditBlock();
    if (cursor.hasSelection())
        cursor.removeSelectedText();
    const QTextBlockFormat paragraph = cursor.blockFormat();
    QTextCharFormat format = cursor.charFormat();
    format.clearProperty(ContinuesProperty);
    QTextCharFormat join = format;
    join.setProperty(ContinuesProperty, true);

    qsizetype room = std::max(0, PieceLength - cursor.positionInBlock());
    qsizetype lineBegin = 0;
    for (;;) {
        qsizetype lineEnd = lineBegin;
        while (lineEnd < text.size() && !IsBreak(text[lineEnd]))
            ++lineEnd;
        const QStringView line = text.mid(lineBegin, lineEnd - lineBegin);
        for (qsizetype at = 0; at < line.size();) {
            if (room == 0) {
                cursor.insertBlock(paragraph, join);
                room = PieceLength;
            }
            const qsizetype end = PieceEnd(line, at, room);
            cursor.insertText(line.mid(at, end - at).toString(), format);
            at = end;
            room = 0;
        }
        if (lineEnd == text.size())
            break;
        const bool crlf =
            text[lineEnd] == u'\r' && lineEnd + 1 < text.size() && text[lineEnd + 1] == u'\n';
        lineBegin = lineEnd + (crlf ? 2 : 1);
        cursor.insertBlock(paragraph, format);
        room = PieceLength;
    }
    Tidy(cursor);
    cursor.endEditBlock();
}

void TextField::Tidy(QTextCursor& cursor) {
    // An empty paragraph joined to its neighbour would show as an empty line
    // that is not in the text (as after Enter or Backspace at a join): the
    // separator between them goes.
    for (bool merged = true; merged;) {
        merged = false;
        const QTextBlock here = cursor.block();
        for (const QTextBlock& block : {here.previous(), here, here.next()}) {
            if (ContinuesLine(block) && (block.length() == 1 || block.previous().length() == 1)) {
                QTextCursor join(document());
                join.setPosition(block.position() - 1);
                join.deleteChar();
                merged = true;
                break;
            }
        }
    }
    const QTextBlock block = cursor.block();
    if (block.length() - 1 <= MaxPieceLength)
        return;
    const QString text = block.text();
    QList<qsizetype> cuts;
    for (qsizetype at = 0; text.size() - at > PieceLength;) {
        at = PieceEnd(text, at, PieceLength);
        cuts.append(at);
    }
    QTextCursor split(document());
    // From the back, so that the earlier places stay where they are.
    for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut) {
        split.setPosition(block.position() + int(*cut));
        QTextCharFormat join = split.charFormat();
        join.setProperty(ContinuesProperty, true);
        split.insertBlock(block.blockFormat(), join);
    }
}

bool TextField::NearJoin(const QTextCursor& cursor) const {
    const QTextBlock first = document()->findBlock(cursor.selectionStart());
    const QTextBlock last = document()->findBlock(cursor.selectionEnd());
    return ContinuesLine(first) || ContinuesLine(last) || ContinuesLine(last.next());
}

void TextField::Edit(QTextCursor& cursor, const std::function<void()>& change) {
    cursor.beginEditBlock();
    change();
    Tidy(cursor);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TextField::keyPressEvent(QKeyEvent* event) {
    if (isReadOnly()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    QTextCursor cursor = textCursor();
    if (event == QKeySequence::InsertParagraphSeparator) {
        // The text edit would copy the paragraph's format, mark included, to
        // the new line.
        Edit(cursor, [&] { Insert(cursor, u"\n"); });
        event->accept();
        return;
    }
    if (StepOverJoin(cursor, StepOf(event, cursor)))
        setTextCursor(cursor);

    // The edits that could leave an empty paragraph at a join or one too
    // long are made here, tidied in the same step to undo. (The text edit
    // cannot be asked to edit inside that step: it reads the layout, which
    // is brought up to date only when the step ends.) Other keys, ordinary
    // typing among them, go to the text edit and are undone in runs as usual.
    const QString text = event->text();
    const bool typing = !text.isEmpty() && (text.front().isPrint() || text.front() == u'\t');
    const bool nearJoin = NearJoin(cursor);
    const bool grows = cursor.block().length() + text.size() > MaxPieceLength + 1;
    if (typing && (grows || (nearJoin && cursor.hasSelection()))) {
        Edit(cursor, [&] { Insert(cursor, text); });
        event->accept();
        return;
    }
    if (nearJoin) {
        const bool selection = cursor.hasSelection();
        std::function<void()> change;
        if (IsBackspace(event))
            change = [&] { selection ? cursor.removeSelectedText() : cursor.deletePreviousChar(); };
        else if (event == QKeySequence::Delete)
            change = [&] { selection ? cursor.removeSelectedText() : cursor.deleteChar(); };
        else if (event == QKeySequence::DeleteEndOfWord || event == QKeySequence::DeleteStartOfWord)
            change = [&] {
                if (!selection)
                    cursor.movePosition(event == QKeySequence::DeleteEndOfWord
                                            ? QTextCursor::NextWord
                                            : QTextCursor::PreviousWord,
                                        QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
            };
        else if (event == QKeySequence::Cut && selection) {
            copy();
            change = [&] { cursor.removeSelectedText(); };
        }
        if (change) {
            Edit(cursor, change);
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TextField::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    const bool breaks = std::any_of(commit.begin(), commit.end(), IsBreak);
    QTextCursor cursor = textCursor();
    const bool grows = cursor.block().length() + commit.size() > MaxPieceLength + 1;
    const bool replaces = cursor.hasSelection() || event->replacementLength() > 0;
    if (isReadOnly() || (!breaks && !grows && !(replaces && NearJoin(cursor)))) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    // The committed text as the text edit would insert it, but with line
    // breaks of their own (as with Enter) and tidied; then the rest of the
    // event, the text being composed, goes to the text edit.
    Edit(cursor, [&] {
        cursor.removeSelectedText();
        if (event->replacementStart() != 0 || event->replacementLength() > 0) {
            cursor.setPosition(cursor.position() + event->replacementStart());
            cursor.setPosition(cursor.position() + event->replacementLength(),
                               QTextCursor::KeepAnchor);
        }
        Insert(cursor, commit);
    });
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    QPlainTextEdit::inputMethodEvent(&rest);
    event->accept();
}

QMimeData* TextField::createMimeDataFromSelection() const {
    // Plain text only: the text edit would also offer HTML, Markdown and ODF,
    // built from the whole selection on the first request.
    auto* data = new QMimeData;
    data->setText(SelectedText());
    return data;
}

bool TextField::canInsertFromMimeData(const QMimeData* source) const {
    return source && source->hasText();
}

void TextField::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly() || !source || !source->hasText())
        return;
    QTextCursor cursor = textCursor();
    Insert(cursor, source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}

} // namespace quimbel::ui
