#pragma once

// A fresh run of the program for each test: its own forms runtime, started
// the way the program starts, driven through real clicks and keys.

#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Forms.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace quimbel::testing {

inline QList<QWidget*> VisibleWindows() {
    QList<QWidget*> visible;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible())
            visible << widget;
    return visible;
}

inline void Click(const forms::CommandButton& button) {
    QTest::mouseClick(&*button, Qt::LeftButton);
}

// Types into a field the way a user does: click into it, then the keys.
// Chinese text (full-width digits among it) arrives from an input method as
// committed text, not as key presses.
inline void Type(const forms::TextBox& field, const QString& text) {
    QTest::mouseClick(field->viewport(), Qt::LeftButton);
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClicks(&*field, QString(c));
            continue;
        }
        QInputMethodEvent commit;
        commit.setCommitString(QString(c));
        QApplication::sendEvent(&*field, &commit);
    }
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_ = std::make_unique<forms::FormsRuntime>();
        runtime_->Start<Form1>();
    }
    void TearDown() override { runtime_.reset(); }

    forms::FormsRuntime& Runtime() { return *runtime_; }
    Form1& Main() { return runtime_->DefaultInstance<Form1>(); }
    Form2& InchPrompt() { return runtime_->DefaultInstance<Form2>(); }
    Form3& CentimetrePrompt() { return runtime_->DefaultInstance<Form3>(); }
    Form4& Welcome() { return runtime_->DefaultInstance<Form4>(); }

    QStringList FieldTexts() {
        return {Main().Text1.Text(), Main().Text2.Text(), Main().Text3.Text(), Main().Text4.Text()};
    }

private:
    std::unique_ptr<forms::FormsRuntime> runtime_;
};

// The program after OK on the welcome dialog: the main window in front.
class MainWindowTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Click(Welcome().Command1);
    }
};

} // namespace quimbel::testing
