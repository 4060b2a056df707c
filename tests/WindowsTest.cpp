// The windows as a user drives them: start-up, conversions, prompts, clearing,
// keys and ending the program.

#include "ProgramFixture.h"

#include <QLabel>

#include <stdexcept>

namespace quimbel::testing {
namespace {

const QStringList NoText{"", "", "", ""};

// --- Start-up and the welcome dialog -------------------------------------

TEST_F(ProgramTest, StartsWithTheWelcomeDialogAndTheMainWindowHidden) {
    EXPECT_EQ(VisibleWindows(), QList<QWidget*>{Welcome().Window()});
    ASSERT_TRUE(Main().IsLoaded());
    EXPECT_FALSE(Main().IsVisible());
    EXPECT_EQ(FieldTexts(), NoText);
    EXPECT_FALSE(Runtime().HasInstance<Form2>());
    EXPECT_FALSE(Runtime().HasInstance<Form3>());
}

TEST_F(ProgramTest, OkOnTheWelcomeShowsTheLoadedMainWindowOnly) {
    QWidget* mainWindow = Main().Window();
    Click(Welcome().Command1);
    EXPECT_EQ(VisibleWindows(), QList<QWidget*>{mainWindow});
    // The same window start-up loaded: a second load would have built a new
    // one and brought the welcome back.
    EXPECT_EQ(Main().Window(), mainWindow);
    EXPECT_FALSE(Welcome().IsLoaded());
    EXPECT_EQ(FieldTexts(), NoText);
}

TEST_F(ProgramTest, ClosingTheWelcomeThroughItsFrameCountsAsOk) {
    Welcome().Window()->close();
    EXPECT_EQ(VisibleWindows(), QList<QWidget*>{Main().Window()});
    EXPECT_FALSE(Welcome().IsLoaded());
    EXPECT_FALSE(Runtime().HasEnded());
}

TEST_F(ProgramTest, WelcomeHasTheFocusOnOk) {
    EXPECT_EQ(Welcome().Window()->focusWidget(), &*Welcome().Command1);
}

// --- Conversions -----------------------------------------------------------

struct InchCase {
    const char* typed;
    QStringList fields; // Text1..Text4 afterwards
};

TEST_F(MainWindowTest, ConvertsInchesThroughClicks) {
    const InchCase cases[] = {
        {"17", {"17", "41.99", "36.975", "22.44"}},
        {"21.5", {"21.5", "53.105", "46.7625", "28.38"}},
        {"-5", {"-5", "-12.35", "-10.875", "-6.6"}},
        {"17in", {"17in", "41.99", "36.975", "22.44"}},
        {"abc", {"abc", "0", "0", "0"}},
        {" ", {" ", "0", "0", "0"}},
        {"１７", {"１７", "41.99", "36.975", "22.44"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Click(Main().Command3);
        Type(Main().Text1, QString::fromUtf8(c.typed));
        Click(Main().Command1);
        EXPECT_EQ(FieldTexts(), c.fields);
        EXPECT_FALSE(Runtime().HasInstance<Form2>()) << "no prompt for a text that is not empty";
    }
}

TEST_F(MainWindowTest, ConvertsCentimetresThroughClicks) {
    const std::pair<const char*, const char*> cases[] = {
        {"49.4", "20"},
        {"100", "40.4858299595142"},
        {"42", "17.004048582996"},
        {"121", "48.9878542510121"},
        {"20,5", "8.09716599190283"},
    };
    for (const auto& [typed, inches] : cases) {
        SCOPED_TRACE(typed);
        Click(Main().Command3);
        Type(Main().Text2, QString::fromUtf8(typed));
        Click(Main().Command2);
        EXPECT_EQ(FieldTexts(), (QStringList{inches, typed, "", ""}));
    }
}

TEST_F(MainWindowTest, CentimetresBackLeaveTheSidesAsTheyWere) {
    Type(Main().Text1, "17");
    Click(Main().Command1);
    Click(Main().Command2);
    EXPECT_EQ(FieldTexts(), (QStringList{"17", "41.99", "36.975", "22.44"}));
}

TEST_F(MainWindowTest, TextTypedIntoTheSidesChangesNoResult) {
    Type(Main().Text3, "999");
    Type(Main().Text4, "888");
    Type(Main().Text2, "49.4");
    Click(Main().Command2);
    EXPECT_EQ(FieldTexts(), (QStringList{"20", "49.4", "999", "888"}));
}

TEST_F(MainWindowTest, AnOverflowingProductEmptiesOnlyItsField) {
    Type(Main().Text1, "5e306");
    Click(Main().Command1);
    EXPECT_EQ(FieldTexts(), (QStringList{"5e306", "", "", "6.6E+306"}));

    Click(Main().Command3);
    Type(Main().Text2, "1e307");
    Type(Main().Text3, "kept");
    Click(Main().Command2);
    EXPECT_EQ(FieldTexts(), (QStringList{"", "1e307", "kept", ""}));
}

TEST_F(MainWindowTest, AReadingBeyondTheDoubleRangeCountsAsZero) {
    Type(Main().Text1, "1e999");
    Click(Main().Command1);
    EXPECT_EQ(FieldTexts(), (QStringList{"1e999", "0", "0", "0"}));
}

TEST_F(MainWindowTest, LongPastedTextConvertsWithoutLoss) {
    const QString pasted = "42" + QString(1 << 20, QLatin1Char('x'));
    Main().Text1.SetText(pasted);
    Click(Main().Command1);
    EXPECT_EQ(Main().Text1.Text(), pasted);
    EXPECT_EQ(Main().Text2.Text(), "103.74");
}

// --- Empty input and the prompts ----------------------------------------

struct EmptyInputCase {
    const char* name;
    forms::CommandButton Form1::*button;
    const char* message;
};

TEST_F(MainWindowTest, EmptyInputShowsTheMatchingPromptAndEmptiesAllFields) {
    const EmptyInputCase cases[] = {
        {"inches", &Form1::Command1, "你还未输入英寸的数据，请输入！"},
        {"centimetres", &Form1::Command2, "你还未输入厘米的数据，请输入！"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool inches = c.button == &Form1::Command1;
        forms::Form& prompt = inches ? static_cast<forms::Form&>(InchPrompt())
                                     : static_cast<forms::Form&>(CentimetrePrompt());
        // The other field holds something that must go too.
        Type(inches ? Main().Text2 : Main().Text1, "12");
        Type(Main().Text3, "3");
        Click(Main().*c.button);
        EXPECT_EQ(FieldTexts(), NoText);
        ASSERT_TRUE(prompt.IsVisible());
        EXPECT_EQ(prompt.Window()->windowTitle(), "提示");
        EXPECT_EQ(static_cast<QLabel*>(prompt.FindControl("Label1"))->text(), c.message);
        EXPECT_TRUE(Main().IsVisible()) << "the main window stays usable";

        // A second click while it is open leaves one prompt.
        QWidget* first = prompt.Window();
        Click(Main().*c.button);
        EXPECT_EQ(prompt.Window(), first);
        int prompts = 0;
        for (QWidget* window : VisibleWindows())
            prompts += window->windowTitle() == "提示";
        EXPECT_EQ(prompts, 1);

        QTest::mouseClick(static_cast<QPushButton*>(prompt.FindControl("Command1")),
                          Qt::LeftButton);
        EXPECT_FALSE(prompt.IsLoaded());
        EXPECT_EQ(VisibleWindows(), QList<QWidget*>{Main().Window()});
    }
}

TEST_F(MainWindowTest, BothPromptsOpenTogetherAndOkClosesOnlyItsOwn) {
    Click(Main().Command1);
    Click(Main().Command2);
    ASSERT_TRUE(InchPrompt().IsVisible());
    ASSERT_TRUE(CentimetrePrompt().IsVisible());
    Type(Main().Text1, "1");

    Click(CentimetrePrompt().Command1);
    EXPECT_TRUE(InchPrompt().IsVisible());
    EXPECT_FALSE(CentimetrePrompt().IsLoaded());
    EXPECT_EQ(Main().Text1.Text(), "1") << "OK on a prompt touches no field";

    Click(InchPrompt().Command1);
    EXPECT_FALSE(InchPrompt().IsLoaded());
    EXPECT_EQ(VisibleWindows(), QList<QWidget*>{Main().Window()});
}

TEST_F(MainWindowTest, APromptClosedThroughItsFrameComesBackOnTheNextEmptyClick) {
    Click(Main().Command1);
    Click(Main().Command2);
    InchPrompt().Window()->close();
    EXPECT_FALSE(InchPrompt().IsLoaded());
    EXPECT_TRUE(CentimetrePrompt().IsVisible());
    EXPECT_TRUE(Main().IsVisible());
    Click(Main().Command1);
    EXPECT_TRUE(InchPrompt().IsVisible());
}

TEST_F(MainWindowTest, PromptHasTheFocusOnOk) {
    Click(Main().Command1);
    EXPECT_EQ(InchPrompt().Window()->focusWidget(), &*InchPrompt().Command1);
}

// --- Clearing, keys and focus ----------------------------------------------

TEST_F(MainWindowTest, ClearEmptiesAllFieldsAndShowsNothing) {
    Type(Main().Text1, "17");
    Click(Main().Command1);
    Click(Main().Command3);
    EXPECT_EQ(FieldTexts(), NoText);
    EXPECT_EQ(VisibleWindows(), QList<QWidget*>{Main().Window()});
}

TEST_F(MainWindowTest, EnterAddsALineBreakAndPressesNoButton) {
    Type(Main().Text1, "17");
    QTest::keyClick(&*Main().Text1, Qt::Key_Return);
    QTest::keyClick(&*Main().Text1, Qt::Key_Enter);
    EXPECT_EQ(Main().Text1.Text(), "17\n\n");
    EXPECT_EQ(Main().Text2.Text(), "");
    Click(Main().Command1);
    EXPECT_EQ(Main().Text2.Text(), "41.99");

    // A line break in front of the number reads like a blank.
    Click(Main().Command3);
    QTest::keyClick(&*Main().Text1, Qt::Key_Return);
    QTest::keyClicks(&*Main().Text1, "20");
    Click(Main().Command1);
    EXPECT_EQ(Main().Text2.Text(), "49.4");
}

TEST_F(MainWindowTest, EnterPressesOnlyTheButtonThatHasTheFocus) {
    Click(Main().Command1); // empty: the inch prompt, with the focus on OK
    ASSERT_TRUE(InchPrompt().IsVisible());
    QTest::keyClick(&*InchPrompt().Command1, Qt::Key_Return);
    EXPECT_FALSE(InchPrompt().IsLoaded());

    Type(Main().Text1, "17");
    Main().Command3->setFocus();
    QTest::keyClick(&*Main().Command3, Qt::Key_Enter);
    EXPECT_EQ(FieldTexts(), NoText);
}

TEST_F(MainWindowTest, EscapePressesNoButton) {
    Type(Main().Text1, "17");
    QTest::keyClick(&*Main().Text1, Qt::Key_Escape);
    EXPECT_EQ(FieldTexts(), (QStringList{"17", "", "", ""}));
    EXPECT_FALSE(Runtime().HasEnded());
}

TEST_F(MainWindowTest, TabOrderAndInitialFocus) {
    QWidget* window = Main().Window();
    QApplication::setActiveWindow(window);
    ASSERT_EQ(window->focusWidget(), &*Main().Text1);
    const QStringList expected{"Text2",    "Command1", "Command2", "Command3",
                               "Command4", "Text3",    "Text4",    "Text1"};
    QStringList seen;
    for (int i = 0; i < expected.size(); ++i) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        seen << window->focusWidget()->objectName();
    }
    EXPECT_EQ(seen, expected);
}

// --- Ending the program ------------------------------------------------------

TEST_F(MainWindowTest, ExitEndsTheProgramWithPromptsOpen) {
    Click(Main().Command1);
    Click(Main().Command2);
    Click(Main().Command4);
    EXPECT_TRUE(Runtime().HasEnded());
    EXPECT_TRUE(VisibleWindows().isEmpty());
    EXPECT_FALSE(Main().IsLoaded());
    EXPECT_FALSE(InchPrompt().IsLoaded());
    EXPECT_FALSE(CentimetrePrompt().IsLoaded());
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheProgramWithPromptsOpen) {
    Click(Main().Command1);
    Click(Main().Command2);
    Main().Window()->close();
    EXPECT_TRUE(Runtime().HasEnded());
    EXPECT_TRUE(VisibleWindows().isEmpty());
    EXPECT_FALSE(InchPrompt().IsLoaded());
}

TEST_F(ProgramTest, NoHandlerRunsAfterTheEnd) {
    Runtime().EndProgram();
    bool ran = false;
    Runtime().Dispatch([&] { ran = true; });
    EXPECT_FALSE(ran);
}

// --- The forms layer's own rules -------------------------------------------

TEST_F(ProgramTest, AFailureReachingTheDispatcherEndsOnlyThatHandler) {
    bool after = false;
    ::testing::internal::CaptureStderr();
    Runtime().Dispatch([] { throw std::runtime_error("step failed"); });
    Runtime().Dispatch([] { throw 42; });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "quimbel: step failed\nquimbel: a handler failed\n");
    Runtime().Dispatch([&] { after = true; });
    EXPECT_TRUE(after);
    EXPECT_FALSE(Runtime().HasEnded());
}

TEST_F(ProgramTest, ControlsOfAnUnloadedWindowAreUnavailable) {
    EXPECT_FALSE(InchPrompt().IsLoaded());
    EXPECT_THROW(InchPrompt().Command1->text(), forms::ControlUnavailable);
}

TEST_F(MainWindowTest, AnUnloadedPromptIsBuiltAfreshFromItsDesign) {
    Click(Main().Command1);
    InchPrompt().Command1->setText("changed");
    Click(InchPrompt().Command1);
    Click(Main().Command1);
    EXPECT_EQ(InchPrompt().Command1->text(), "确定");
}

TEST(Steps, ResumeNextSkipsOnlyTheFailingStep) {
    std::vector<int> ran;
    forms::RunSteps(
        forms::OnStepFailure::ResumeNext, [&] { ran.push_back(1); },
        [] { throw std::runtime_error("fails"); }, [&] { ran.push_back(3); });
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

TEST(Steps, WithoutResumeNextAFailureEndsTheSequence) {
    std::vector<int> ran;
    EXPECT_THROW(forms::RunSteps(
                     forms::OnStepFailure::EndHandler, [&] { ran.push_back(1); },
                     [] { throw std::runtime_error("fails"); }, [&] { ran.push_back(3); }),
                 std::runtime_error);
    EXPECT_EQ(ran, (std::vector<int>{1}));
}

} // namespace
} // namespace quimbel::testing
