// The forms layer's own rules, on a tiny window whose handlers each test
// scripts: loading, hiding, unloading and ending from inside handlers.

#include "Forms.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace quimbel::testing {
namespace {

using namespace forms;

constexpr std::array<ControlDesign, 1> OneButton{{
    {"Command1", ControlKind::CommandButton, OnWindow, 300, 300, 1200, 450, "OK", "", 0},
}};
const WindowDesign Tiny{"tiny", 3000, 1500, 0, 0, OneButton};

class ScriptedForm final : public Form {
public:
    explicit ScriptedForm(FormsRuntime& runtime) : Form(runtime, Tiny) {}

    std::function<void(ScriptedForm&)> onLoad;
    std::function<void(ScriptedForm&)> onUnload;
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
};

class FormsLayer : public ::testing::Test {
protected:
    FormsRuntime runtime;
    ScriptedForm& Form() { return runtime.DefaultInstance<ScriptedForm>(); }
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
        FormsRuntime fresh;
        ScriptedForm& form = fresh.DefaultInstance<ScriptedForm>();
        form.onLoad = c.onLoad;
        fresh.Dispatch([&] { form.Show(); });
        EXPECT_EQ(form.loads, 1);
        EXPECT_EQ(form.IsLoaded(), c.loaded);
        EXPECT_EQ(form.IsVisible(), c.visible);
        EXPECT_EQ(fresh.HasEnded(), c.ended);
        EXPECT_EQ(fresh.HasVisibleWindow(), c.visible);
    }
}

TEST_F(FormsLayer, ShowLoadsOnceAndUnloadBuildsAfresh) {
    Form().Show();
    Form().Show();
    EXPECT_EQ(Form().loads, 1);
    QWidget* first = Form().Window();
    runtime.Unload(Form());
    EXPECT_EQ(Form().unloads, 1);
    EXPECT_FALSE(Form().IsLoaded());
    Form().Show();
    EXPECT_EQ(Form().loads, 2);
    EXPECT_NE(Form().Window(), first);
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
    Form().Window()->close();
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

TEST_F(FormsLayer, AWindowMayUnloadItselfFromItsOwnClick) {
    Form().Show();
    QObject::connect(qobject_cast<QPushButton*>(Form().FindControl("Command1")),
                     &QAbstractButton::clicked, [this] { runtime.Unload(Form()); });
    QTest::mouseClick(qobject_cast<QPushButton*>(Form().FindControl("Command1")), Qt::LeftButton);
    EXPECT_FALSE(Form().IsLoaded());
    // The discarded window goes with the next round of deferred deletions.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(runtime.HasVisibleWindow());
}

} // namespace
} // namespace quimbel::testing
