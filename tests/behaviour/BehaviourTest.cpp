// The windows as a user drives them: start-up, conversions, prompts, clearing,
// keys and ending the program. Written once; each back end builds it with its
// own driver.

#include "Driver.h"
#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Forms.h"
#include "SizeConversion.h"
#include "Steps.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quimbel::testing {
namespace {

using Fields = std::vector<std::string>; // Text1..Text4
const Fields NoText{"", "", "", ""};

// A fresh run of the program for each test: its own forms runtime, started
// the way the program starts.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver_ = MakeDriver();
        runtime_ = std::make_unique<ui::FormsRuntime>(driver_->System());
        runtime_->Start<forms::Form1>();
    }
    void TearDown() override {
        runtime_.reset();
        driver_.reset();
    }

    Driver& User() { return *driver_; }
    ui::FormsRuntime& Runtime() { return *runtime_; }
    forms::Form1& Main() { return runtime_->DefaultInstance<forms::Form1>(); }
    forms::Form2& InchPrompt() { return runtime_->DefaultInstance<forms::Form2>(); }
    forms::Form3& CentimetrePrompt() { return runtime_->DefaultInstance<forms::Form3>(); }
    forms::Form4& Welcome() { return runtime_->DefaultInstance<forms::Form4>(); }

    Fields FieldTexts() {
        return {Main().Text1.Text(), Main().Text2.Text(), Main().Text3.Text(), Main().Text4.Text()};
    }
    void Click(const ui::Form& form, const ui::CommandButton& button) {
        User().Click(form, button.Name());
    }
    void Type(const ui::TextBox& field, std::string_view text) {
        User().Type(Main(), field.Name(), text);
    }

private:
    std::unique_ptr<Driver> driver_;
    std::unique_ptr<ui::FormsRuntime> runtime_;
};

// The program after OK on the welcome dialog: the main window in front.
class MainWindowTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Click(Welcome(), Welcome().Command1);
    }
};

// --- Start-up and the welcome dialog -------------------------------------

TEST_F(ProgramTest, StartsWithTheWelcomeDialogAndTheMainWindowHidden) {
    EXPECT_TRUE(Welcome().IsVisible());
    EXPECT_EQ(User().VisibleWindows(), 1);
    ASSERT_TRUE(Main().IsLoaded());
    EXPECT_FALSE(Main().IsVisible());
    EXPECT_EQ(FieldTexts(), NoText);
    EXPECT_FALSE(Runtime().HasInstance<forms::Form2>());
    EXPECT_FALSE(Runtime().HasInstance<forms::Form3>());
    EXPECT_EQ(User().Title(Welcome()), "Quimbel V2.3");
}

TEST_F(ProgramTest, OkOnTheWelcomeShowsTheLoadedMainWindowOnly) {
    const ui::NativeWindow* mainWindow = Main().Native();
    Click(Welcome(), Welcome().Command1);
    EXPECT_TRUE(Main().IsVisible());
    EXPECT_EQ(User().VisibleWindows(), 1);
    // The same window start-up loaded: a second load would have built a new
    // one and brought the welcome back.
    EXPECT_EQ(Main().Native(), mainWindow);
    EXPECT_FALSE(Welcome().IsLoaded());
    EXPECT_EQ(FieldTexts(), NoText);
}

TEST_F(ProgramTest, EnterOnTheWelcomeOkOpensTheMainWindow) {
    User().PressKeyInWindow(Welcome(), Key::Enter);
    EXPECT_TRUE(Main().IsVisible());
    EXPECT_FALSE(Welcome().IsLoaded());
}

TEST_F(ProgramTest, ClosingTheWelcomeThroughItsFrameCountsAsOk) {
    User().Close(Welcome());
    EXPECT_TRUE(Main().IsVisible());
    EXPECT_EQ(User().VisibleWindows(), 1);
    EXPECT_FALSE(Welcome().IsLoaded());
    EXPECT_FALSE(Runtime().HasEnded());
}

TEST_F(ProgramTest, WelcomeHasTheFocusOnOk) { EXPECT_EQ(User().Focused(Welcome()), "Command1"); }

// --- Conversions -----------------------------------------------------------

struct InchCase {
    const char* typed;
    Fields fields; // Text1..Text4 afterwards
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
        {"a&b", {"a&b", "0", "0", "0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Click(Main(), Main().Command3);
        Type(Main().Text1, c.typed);
        Click(Main(), Main().Command1);
        EXPECT_EQ(FieldTexts(), c.fields);
        EXPECT_FALSE(Runtime().HasInstance<forms::Form2>())
            << "no prompt for a text that is not empty";
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
        Click(Main(), Main().Command3);
        Type(Main().Text2, typed);
        Click(Main(), Main().Command2);
        EXPECT_EQ(FieldTexts(), (Fields{inches, typed, "", ""}));
    }
}

TEST_F(MainWindowTest, CentimetresBackLeaveTheSidesAsTheyWere) {
    Type(Main().Text1, "17");
    Click(Main(), Main().Command1);
    Click(Main(), Main().Command2);
    EXPECT_EQ(FieldTexts(), (Fields{"17", "41.99", "36.975", "22.44"}));
}

TEST_F(MainWindowTest, TextTypedIntoTheSidesChangesNoResult) {
    Type(Main().Text3, "999");
    Type(Main().Text4, "888");
    Type(Main().Text2, "49.4");
    Click(Main(), Main().Command2);
    EXPECT_EQ(FieldTexts(), (Fields{"20", "49.4", "999", "888"}));
}

TEST_F(MainWindowTest, AnOverflowingProductEmptiesOnlyItsField) {
    Type(Main().Text1, "5e306");
    Click(Main(), Main().Command1);
    EXPECT_EQ(FieldTexts(), (Fields{"5e306", "", "", "6.6E+306"}));

    Click(Main(), Main().Command3);
    Type(Main().Text2, "1e307");
    Type(Main().Text3, "kept");
    Click(Main(), Main().Command2);
    EXPECT_EQ(FieldTexts(), (Fields{"", "1e307", "kept", ""}));
}

TEST_F(MainWindowTest, AReadingBeyondTheDoubleRangeCountsAsZero) {
    Type(Main().Text1, "1e999");
    Click(Main(), Main().Command1);
    EXPECT_EQ(FieldTexts(), (Fields{"1e999", "0", "0", "0"}));
}

TEST_F(MainWindowTest, LongPastedTextConvertsWithoutLoss) {
    const std::string pasted = "42" + std::string(std::size_t{1} << 20, 'x');
    Main().Text1.SetText(pasted);
    Click(Main(), Main().Command1);
    EXPECT_EQ(Main().Text1.Text(), pasted);
    EXPECT_EQ(Main().Text2.Text(), "103.74");
}

TEST_F(MainWindowTest, OddTextConvertsByTheReadingRuleAndStaysAsTyped) {
    // What each text reads as, and so what the three sides must show.
    struct Case {
        const char* name;
        std::string text;
        double inches;
    };
    const Case cases[] = {
        {"a thousand digits", "1" + std::string(999, '0'), 0.0}, // beyond any double
        {"a thousand-digit fraction", "0." + std::string(997, '0') + "17", 0.0},
        {"digits after a thousand zeros", std::string(1000, '0') + "17", 17.0},
        {"a tab in front", "\t17", 17.0},
        {"full-width with a full-width point", "１．５", 1.5},
        {"an emoji in front",
         "\xF0\x9F\x98\x80"
         "17",
         0.0},
        {"a sign alone", "-", 0.0},
        {"two points", "1.2.3", 1.2},
        {"a control character", std::string("\x01") + "17", 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Main().Text1.SetText(c.text);
        Click(Main(), Main().Command1);
        EXPECT_EQ(FieldTexts(),
                  (Fields{c.text, TextFromNumber(SideCentimetres(c.inches, DiagonalCmAtReference)),
                          TextFromNumber(SideCentimetres(c.inches, LongSideCmAtReference)),
                          TextFromNumber(SideCentimetres(c.inches, ShortSideCmAtReference))}));
    }
}

TEST_F(MainWindowTest, ChineseTextSurvivesTheFieldUnchanged) {
    const std::string text = "１７英寸 — 显示屏\n第二行";
    Main().Text1.SetText(text);
    EXPECT_EQ(Main().Text1.Text(), text);
    Click(Main(), Main().Command1);
    EXPECT_EQ(Main().Text2.Text(), "41.99");
}

// --- Empty input and the prompts ----------------------------------------

class EmptyInputTest : public MainWindowTest {
public:
    ui::Form& Inch() { return InchPrompt(); }
    ui::Form& Centimetre() { return CentimetrePrompt(); }
    ui::Label& MessageOf(ui::Form& prompt) {
        return static_cast<forms::MissingInputPrompt&>(prompt).Label1;
    }
};

TEST_F(EmptyInputTest, ShowsTheMatchingPromptAndEmptiesAllFields) {
    struct Case {
        const char* name;
        ui::CommandButton forms::Form1::*button;
        ui::TextBox forms::Form1::*otherField;
        ui::Form& (EmptyInputTest::*prompt)();
        const char* message;
    };
    const Case cases[] = {
        {"inches", &forms::Form1::Command1, &forms::Form1::Text2, &EmptyInputTest::Inch,
         "你还未输入英寸的数据，请输入！"},
        {"centimetres", &forms::Form1::Command2, &forms::Form1::Text1, &EmptyInputTest::Centimetre,
         "你还未输入厘米的数据，请输入！"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui::Form& prompt = (this->*c.prompt)();
        Type(Main().*c.otherField, "12");
        Type(Main().Text3, "3");
        Click(Main(), Main().*c.button);
        EXPECT_EQ(FieldTexts(), NoText);
        ASSERT_TRUE(prompt.IsVisible());
        EXPECT_EQ(User().Title(prompt), "提示");
        EXPECT_EQ(MessageOf(prompt).Text(), c.message);
        EXPECT_EQ(User().Focused(prompt), "Command1");
        EXPECT_TRUE(Main().IsVisible()) << "the main window stays usable";

        // A second click while it is open leaves one prompt.
        const ui::NativeWindow* first = prompt.Native();
        Click(Main(), Main().*c.button);
        EXPECT_EQ(prompt.Native(), first);
        EXPECT_EQ(User().VisibleWindows(), 2);

        User().Click(prompt, "Command1");
        EXPECT_FALSE(prompt.IsLoaded());
        EXPECT_EQ(User().VisibleWindows(), 1);
        EXPECT_TRUE(Main().IsVisible());
    }
}

TEST_F(MainWindowTest, BothPromptsOpenTogetherAndOkClosesOnlyItsOwn) {
    Click(Main(), Main().Command1);
    Click(Main(), Main().Command2);
    ASSERT_TRUE(InchPrompt().IsVisible());
    ASSERT_TRUE(CentimetrePrompt().IsVisible());
    EXPECT_EQ(User().VisibleWindows(), 3);
    Type(Main().Text1, "1");

    Click(CentimetrePrompt(), CentimetrePrompt().Command1);
    EXPECT_TRUE(InchPrompt().IsVisible());
    EXPECT_FALSE(CentimetrePrompt().IsLoaded());
    EXPECT_EQ(Main().Text1.Text(), "1") << "OK on a prompt touches no field";

    Click(InchPrompt(), InchPrompt().Command1);
    EXPECT_FALSE(InchPrompt().IsLoaded());
    EXPECT_EQ(User().VisibleWindows(), 1);
}

TEST_F(MainWindowTest, APromptClosedThroughItsFrameComesBackOnTheNextEmptyClick) {
    Click(Main(), Main().Command1);
    Click(Main(), Main().Command2);
    User().Close(InchPrompt());
    EXPECT_FALSE(InchPrompt().IsLoaded());
    EXPECT_TRUE(CentimetrePrompt().IsVisible());
    EXPECT_TRUE(Main().IsVisible());
    Click(Main(), Main().Command1);
    EXPECT_TRUE(InchPrompt().IsVisible());
}

TEST_F(MainWindowTest, AnUnloadedPromptIsBuiltAfreshFromItsDesign) {
    Click(Main(), Main().Command1);
    InchPrompt().Command1.SetText("changed");
    Click(InchPrompt(), InchPrompt().Command1);
    User().ProcessEvents();
    Click(Main(), Main().Command1);
    EXPECT_EQ(InchPrompt().Command1.Text(), "确定");
}

// --- Clearing, keys and focus ----------------------------------------------

TEST_F(MainWindowTest, ClearEmptiesAllFieldsAndShowsNothing) {
    Type(Main().Text1, "17");
    Click(Main(), Main().Command1);
    Click(Main(), Main().Command3);
    EXPECT_EQ(FieldTexts(), NoText);
    EXPECT_EQ(User().VisibleWindows(), 1);
}

TEST_F(MainWindowTest, EnterAddsALineBreakAndPressesNoButton) {
    Type(Main().Text1, "17");
    User().PressKey(Main(), "Text1", Key::Enter);
    User().PressKeyInWindow(Main(), Key::Enter);
    EXPECT_EQ(Main().Text1.Text(), "17\n\n");
    EXPECT_EQ(Main().Text2.Text(), "");
    EXPECT_FALSE(Runtime().HasInstance<forms::Form2>());
    Click(Main(), Main().Command1);
    EXPECT_EQ(Main().Text2.Text(), "41.99");

    // A line break in front of the number reads like a blank.
    Click(Main(), Main().Command3);
    User().PressKey(Main(), "Text1", Key::Enter);
    Type(Main().Text1, "20");
    Click(Main(), Main().Command1);
    EXPECT_EQ(Main().Text2.Text(), "49.4");
}

TEST_F(MainWindowTest, EnterAndSpacePressOnlyTheButtonThatHasTheFocus) {
    struct Case {
        const char* name;
        Key key;
    };
    for (const Case& c : {Case{"Enter", Key::Enter}, Case{"Space", Key::Space}}) {
        SCOPED_TRACE(c.name);
        Click(Main(), Main().Command1); // empty: the inch prompt, with the focus on OK
        ASSERT_TRUE(InchPrompt().IsVisible());
        User().PressKeyInWindow(InchPrompt(), c.key);
        EXPECT_FALSE(InchPrompt().IsLoaded());

        Type(Main().Text1, "17");
        User().PressKey(Main(), "Command3", c.key);
        EXPECT_EQ(FieldTexts(), NoText);
    }
}

TEST_F(MainWindowTest, EscapePressesNoButton) {
    Type(Main().Text1, "17");
    User().PressKey(Main(), "Text1", Key::Escape);
    User().PressKey(Main(), "Command4", Key::Escape);
    EXPECT_EQ(FieldTexts(), (Fields{"17", "", "", ""}));
    EXPECT_TRUE(Main().IsVisible());
    EXPECT_FALSE(Runtime().HasEnded());
}

TEST_F(MainWindowTest, TabOrderAndInitialFocus) {
    ASSERT_EQ(User().Focused(Main()), "Text1");
    const std::vector<std::string> expected{"Text2",    "Command1", "Command2", "Command3",
                                            "Command4", "Text3",    "Text4",    "Text1"};
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        User().PressKeyInWindow(Main(), Key::Tab);
        seen.push_back(User().Focused(Main()));
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(FieldTexts(), NoText) << "Tab moves the focus and types nothing";
}

// --- Ending the program ------------------------------------------------------

TEST_F(MainWindowTest, ExitEndsTheProgramWithPromptsOpen) {
    Click(Main(), Main().Command1);
    Click(Main(), Main().Command2);
    Click(Main(), Main().Command4);
    EXPECT_TRUE(Runtime().HasEnded());
    EXPECT_EQ(User().VisibleWindows(), 0);
    EXPECT_FALSE(Main().IsLoaded());
    EXPECT_FALSE(InchPrompt().IsLoaded());
    EXPECT_FALSE(CentimetrePrompt().IsLoaded());
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheProgramWithPromptsOpen) {
    Click(Main(), Main().Command1);
    Click(Main(), Main().Command2);
    User().Close(Main());
    EXPECT_TRUE(Runtime().HasEnded());
    EXPECT_EQ(User().VisibleWindows(), 0);
    EXPECT_FALSE(InchPrompt().IsLoaded());
}

TEST_F(ProgramTest, NoHandlerRunsAfterTheEnd) {
    Runtime().EndProgram();
    bool ran = false;
    Runtime().Dispatch([&] { ran = true; });
    EXPECT_FALSE(ran);
}

// --- Failures ------------------------------------------------------------------

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
    EXPECT_THROW(InchPrompt().Command1.Text(), ui::ControlUnavailable);
}

TEST_F(ProgramTest, AFailedStepInAConversionSkipsToTheNextStep) {
    // The main window is loaded but its prompt is not: the handler's step
    // that reads the prompt's label fails, and the rest still runs.
    std::vector<int> ran;
    Runtime().Dispatch([&] {
        ui::RunSteps(
            ui::OnStepFailure::ResumeNext, [&] { ran.push_back(1); },
            [&] { ran.push_back(InchPrompt().Label1.Text().empty() ? 2 : -2); },
            [&] { ran.push_back(3); });
    });
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

} // namespace
} // namespace quimbel::testing
