#pragma once

// A field of a form on Qt Widgets: plain text of any length, kept fast.
//
// The text edit lays out, shapes and measures a paragraph as a whole, on every
// keystroke and on every blink of the caret, so one pasted line of a megabyte
// costs seconds per key and a busy core while idle. This field stores a long
// line as a run of short paragraphs instead, joined by separators marked as
// not part of the text. Everything that reads or moves
// through the text (its value, the selection and clipboard, the arrow,
// Backspace and Delete keys) treats a run as the one line it is, so nothing
// of what the user typed or pasted is cut or changed.

#include <QPlainTextEdit>
#include <QString>
#include <QStringView>
#include <QTextCursor>

#include <functional>

class QFocusEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMimeData;
class QTextBlock;

namespace quimbel::ui {

class TextField final : public QPlainTextEdit {
    Q_OBJECT
public:
    // The longest paragraph a pasted or loaded line is stored in, and the
    // length at which typing into one splits it again.
    static constexpr int PieceLength = 2048;
    static constexpr int MaxPieceLength = 2 * PieceLength;
    // A text long enough that replacing it is worth a fresh document.
    static constexpr int LongText = 256 * 1024;

    explicit TextField(QWidget* parent = nullptr);

    // The whole text, line breaks as "\n". As QPlainTextEdit::toPlainText, a
    // no-break space reads as a space and a line separator as "\n".
    QString Text() const;
    // Replaces the whole text: the caret at the start, no undo history.
    void SetText(QStringView text);
    // The selected text, as Text() reads it.
    QString SelectedText() const;

    // Whether a paragraph continues the line of the one before it.
    static bool ContinuesLine(const QTextBlock& block);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void ForgetSelection();
    void StartAfresh();
    QString TextBetween(int from, int to) const;
    // Inserts plain text at the cursor (replacing its selection) as one step
    // to undo: line breaks as paragraphs, long lines in pieces.
    void Insert(QTextCursor& cursor, QStringView text);
    // After an edit near the caret: removes a join at an empty paragraph (it
    // would show as an empty line) and splits a paragraph grown past
    // MaxPieceLength.
    void Tidy(QTextCursor& cursor);
    bool NearJoin(const QTextCursor& cursor) const;
    // Makes a change through the cursor as one step to undo, tidies, and
    // hands the cursor to the text edit.
    void Edit(QTextCursor& cursor, const std::function<void()>& change);

    // Screen readers hear what an edit removed: the text edit tells them
    // blanks of its length, having no copy of the text that went. The field
    // takes that report over from the text edit (where it can) and keeps the
    // copy, only while a screen reader listens.
    void TakeOverTextReports();
    bool SilenceControlReports();
    void ReportChange(int from, int removed, int added);
    QString DocumentText() const;
    bool reportsChanges_ = false;
    bool spokenKnown_ = false;
    // The document's text as the accessible text interface reads it (a
    // paragraph separator between paragraphs).
    QString spoken_;

    // One selection's text, built once for the selection and the clipboard
    // both: a megabyte copied stays one copy.
    mutable QString selectionCache_;
    mutable int cacheStart_ = -1;
    mutable int cacheEnd_ = -1;
};

} // namespace quimbel::ui
