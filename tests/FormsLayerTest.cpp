// The forms layer's own rules, on a tiny window whose handlers each test
// scripts: loading, hiding, unloading and ending from inside handlers. The
// windows live in memory, so nothing here depends on a toolkit.

#include "FakeWindowSystem.h"
#include "Forms.h"
#include "Steps.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <stdexcept>

namespace quimbel::testing {
namespace {

using namespace ui;

constexpr std::array<ControlDesign, 2> ButtonAndField{{
    {"Command1", ControlKind::CommandButton, OnWindow, 300, 300, 1200, 450, "OK", "", 0},
    {"Text1", ControlKind::TextBox, OnWindow, 300, 900, 1200, 450, "", "", 1},
}};
const WindowDesign Tiny{"tiny", 3000, 1500, 0, 0, ButtonAndField};

class ScriptedForm final : public Form {
public:
    explicit ScriptedForm(FormsRuntime& runtime) : Form(runtime, Tiny) {}

    CommandButton Command1{*this, "Command1"};
    TextBox Text1{*this, "Text1"};

    std::function<void(ScriptedForm&)> onLoad;
    std::function<void(ScriptedForm&)> onUnload;
    std::function<void(ScriptedForm&)> onClick;
    const char* clickTarget = "Command1";
    int loads = 0;
    int unloads = 0;
    FormsRuntime& Runtime() const { return Form::Runtime(); }

protected:
    void OnLoad() override {
        ++loads;
        if (onLoad)
            onLoad(*this);
    }
    void OnUnload() override {
        ++unloads;
        if (onUnload)
            onUnload(*this);
    }
    void ConnectHandlers() override { OnClick(clickTarget, &ScriptedForm::ButtonClicked); }

private:
    void ButtonClicked() {
        if (onClick)
            onClick(*this);
    }
};

class FormsLayer : public ::testing::Test {
protected:
    FakeWindowSystem system;
    FormsRuntime runtime{system};
    ScriptedForm& Form() { return runtime.DefaultInstance<ScriptedForm>(); }
    FakeWindow& Window() { return dynamic_cast<FakeWindow&>(*Form().Native()); }
};

struct LoadCase {
    const char* name;
    std::function<void(ScriptedForm&)> onLoad;
    bool loaded;
    bool visible;
    bool ended;
};

TEST_F(FormsLayer, ShowHonoursWhatItsLoadHandlerDid) {
    const LoadCase cases[] = {
        {"nothing", nullptr, true, true, false},
        {"hides it", [](ScriptedForm& f) { f.Hide(); }, true, false, false},
        {"unloads it", [](ScriptedForm& f) { f.Runtime().Unload(f); }, false, false, false},
        {"ends the program", [](ScriptedForm& f) { f.Runtime().EndProgram(); }, false, false, true},
        {"hides, then shows it",
         [](ScriptedForm& f) {
             f.Hide();
             f.Show();
         },
         true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindowSystem freshSystem;
        FormsRuntime fresh(freshSystem);
        ScriptedForm& form = fresh.DefaultInstance<ScriptedForm>();
        form.onLoad = c.onLoad;
        fresh.Dispatch([&] { form.Show(); });
        EXPECT_EQ(form.loads, 1);
        EXPECT_EQ(form.IsLoaded(), c.loaded);
        EXPECT_EQ(form.IsVisible(), c.visible);
        EXPECT_EQ(fresh.HasEnded(), c.ended);
        EXPECT_EQ(freshSystem.QuitCalled(), c.ended);
        EXPECT_EQ(fresh.HasVisibleWindow(), c.visible);
        EXPECT_EQ(freshSystem.VisibleWindows(), c.visible ? 1 : 0);
    }
}

TEST_F(FormsLayer, ShowLoadsOnceAndUnloadBuildsAfresh) {
    Form().Show();
    Form().Show();
    EXPECT_EQ(Form().loads, 1);
    EXPECT_EQ(system.Created(), 1);
    Form().Text1.SetText("typed");
    runtime.Unload(Form());
    EXPECT_EQ(Form().unloads, 1);
    EXPECT_FALSE(Form().IsLoaded());
    Form().Show();
    EXPECT_EQ(Form().loads, 2);
    EXPECT_EQ(system.Created(), 2);
    EXPECT_EQ(Form().Text1.Text(), "") << "a window loaded again starts from its design";
}

TEST_F(FormsLayer, HideLoadsAWindowThatIsNotLoadedAndKeepsItHidden) {
    Form().Hide();
    EXPECT_EQ(Form().loads, 1);
    EXPECT_TRUE(Form().IsLoaded());
    EXPECT_FALSE(Form().IsVisible());
}

TEST_F(FormsLayer, AnUnloadHandlerThatUnloadsAgainRunsOnce) {
    Form().onUnload = [](ScriptedForm& f) { f.Runtime().Unload(f); };
    Form().Show();
    runtime.Unload(Form());
    EXPECT_EQ(Form().unloads, 1);
    EXPECT_FALSE(Form().IsLoaded());
}

TEST_F(FormsLayer, ClosingThroughTheFrameUnloads) {
    Form().Show();
    Window().Events().CloseRequested();
    EXPECT_EQ(Form().unloads, 1);
    EXPECT_FALSE(Form().IsLoaded());
    EXPECT_FALSE(runtime.HasEnded());
}

TEST_F(FormsLayer, NothingLoadsOrRunsAfterTheEnd) {
    Form().Show();
    runtime.EndProgram();
    EXPECT_FALSE(Form().IsLoaded());
    EXPECT_EQ(Form().unloads, 0) << "ending runs no Unload handler";
    Form().Show();
    Form().Hide();
    EXPECT_FALSE(Form().IsLoaded());
    EXPECT_EQ(Form().loads, 1);
}

TEST_F(FormsLayer, AWindowThatUnloadsItselfFromItsOwnClickLivesUntilTheClickIsDone) {
    Form().onClick = [](ScriptedForm& f) { f.Runtime().Unload(f); };
    Form().Show();
    Window().Events().Clicked(0);
    EXPECT_FALSE(Form().IsLoaded());
    EXPECT_EQ(system.Windows().size(), 1u) << "the sender of the click still exists";
    EXPECT_EQ(system.VisibleWindows(), 0);
    system.DestroyPending();
    EXPECT_TRUE(system.Windows().empty());
}

TEST_F(FormsLayer, ClicksReachOnlyTheirButtonsHandler) {
    int clicks = 0;
    Form().onClick = [&](ScriptedForm&) { ++clicks; };
    Form().Show();
    Window().Events().Clicked(1); // the field: no handler
    Window().Events().Clicked(7); // no such control
    EXPECT_EQ(clicks, 0);
    Window().Events().Clicked(0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(FormsLayer, AHandlerForAMissingButtonFailsBeforeAnyWindowIsBuilt) {
    for (const char* target : {"Command9", "Text1"}) {
        SCOPED_TRACE(target);
        FakeWindowSystem freshSystem;
        FormsRuntime fresh(freshSystem);
        ScriptedForm& form = fresh.DefaultInstance<ScriptedForm>();
        form.clickTarget = target;
        ::testing::internal::CaptureStderr();
        fresh.Dispatch([&] { form.Show(); });
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(target), std::string::npos) << said;
        EXPECT_FALSE(form.IsLoaded());
        EXPECT_EQ(form.loads, 0) << "no Load handler on a window without its handlers";
        EXPECT_EQ(freshSystem.Created(), 0);
    }
}

// A control that the design does not have is a programming error, found when
// the window's instance is made rather than swallowed by a resume-next step.
class MistypedForm final : public Form {
public:
    explicit MistypedForm(FormsRuntime& runtime) : Form(runtime, Tiny) {}
    TextBox Text9{*this, "Text9"};
};

class MiskindedForm final : public Form {
public:
    explicit MiskindedForm(FormsRuntime& runtime) : Form(runtime, Tiny) {}
    TextBox Command1{*this, "Command1"};
};

TEST_F(FormsLayer, AControlNameOrKindTheDesignLacksFailsWhenTheInstanceIsMade) {
    EXPECT_THROW(runtime.DefaultInstance<MistypedForm>(), DesignError);
    EXPECT_FALSE(runtime.HasInstance<MistypedForm>());
    EXPECT_THROW(runtime.DefaultInstance<MiskindedForm>(), DesignError);
}

TEST_F(FormsLayer, ResumeNextNeverSwallowsAProgrammingError) {
    std::vector<int> ran;
    EXPECT_THROW(RunSteps(
                     OnStepFailure::ResumeNext, [&] { ran.push_back(1); },
                     [] { throw DesignError("no such control"); }, [&] { ran.push_back(3); }),
                 DesignError);
    EXPECT_EQ(ran, (std::vector<int>{1}));
}

TEST(Steps, ResumeNextSkipsOnlyTheFailingStep) {
    std::vector<int> ran;
    RunSteps(
        OnStepFailure::ResumeNext, [&] { ran.push_back(1); },
        [] { throw std::runtime_error("fails"); }, [] { throw 42; }, [&] { ran.push_back(4); });
    EXPECT_EQ(ran, (std::vector<int>{1, 4}));
}

TEST(Steps, WithoutResumeNextAFailureEndsTheSequence) {
    std::vector<int> ran;
    EXPECT_THROW(RunSteps(
                     OnStepFailure::EndHandler, [&] { ran.push_back(1); },
                     [] { throw std::runtime_error("fails"); }, [&] { ran.push_back(3); }),
                 std::runtime_error);
    EXPECT_EQ(ran, (std::vector<int>{1}));
}

} // namespace
} // namespace quimbel::testing
