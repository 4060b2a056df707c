// How long a click on "英寸换算厘米" takes, from the mouse release reaching the
// button to the three results standing in their fields: the program as it
// runs, started the usual way and past the welcome dialog, on the offscreen
// platform. A second row adds the repaint that follows, so a slow paint path
// cannot hide behind a fast handler.
//
//   build-bench/bench/quimbel_click_bench --benchmark_repetitions=5
//   --benchmark_report_aggregates_only=true

#include "Appearance.h"
#include "Form1.h"
#include "Form4.h"
#include "Forms.h"
#include "OffscreenMessages.h"
#include "QtAccess.h"
#include "QtWindowSystem.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// 17 inches, as the user types it, and what the program answers.
const std::string Inches = "17";
const std::string Expected[3] = {"41.99", "36.975", "22.44"};

// The program with its main window in front and 17 typed into Text1.
class RunningProgram {
public:
    RunningProgram() {
        runtime_.Start<quimbel::forms::Form1>();
        QTest::mouseClick(quimbel::ui::QtControlOf<QPushButton>(
                              runtime_.DefaultInstance<quimbel::forms::Form4>(), "Command1"),
                          Qt::LeftButton);
        if (!Main().IsVisible())
            Fail("the main window did not open after OK on the welcome dialog");
        Main().Text1.SetText(Inches);
        QApplication::processEvents();
    }

    quimbel::forms::Form1& Main() { return runtime_.DefaultInstance<quimbel::forms::Form1>(); }

    void ClearResults() {
        Main().Text2.SetText({});
        Main().Text3.SetText({});
        Main().Text4.SetText({});
        QApplication::processEvents();
    }

    void Click() {
        QTest::mouseClick(quimbel::ui::QtControlOf<QPushButton>(Main(), "Command1"),
                          Qt::LeftButton);
    }

    // Once, before timing: a fast click that computes the wrong thing is no result.
    void CheckResults() {
        ClearResults();
        Click();
        const std::string got[3] = {Main().Text2.Text(), Main().Text3.Text(), Main().Text4.Text()};
        for (int i = 0; i < 3; ++i)
            if (got[i] != Expected[i])
                Fail(("Text" + std::to_string(i + 2) + " holds \"" + got[i] + "\", expected \"" +
                      Expected[i] + "\"")
                         .c_str());
        if (Main().Text1.Text() != Inches)
            Fail("the click changed Text1");
    }

private:
    [[noreturn]] static void Fail(const char* why) {
        std::fprintf(stderr, "quimbel_click_bench: %s\n", why);
        std::abort();
    }

    quimbel::ui::QtWindowSystem system_;
    quimbel::ui::FormsRuntime runtime_{system_};
};

void BM_Command1Click(benchmark::State& state) {
    RunningProgram program;
    program.CheckResults();
    for (auto _ : state) {
        state.PauseTiming();
        program.ClearResults();
        state.ResumeTiming();
        program.Click();
    }
    benchmark::DoNotOptimize(program.Main().Text4.Text());
}
BENCHMARK(BM_Command1Click)->Unit(benchmark::kMicrosecond);

void BM_Command1ClickAndRepaint(benchmark::State& state) {
    RunningProgram program;
    program.CheckResults();
    for (auto _ : state) {
        state.PauseTiming();
        program.ClearResults();
        state.ResumeTiming();
        program.Click();
        // Layout and painting of the three fields, queued by the click.
        QApplication::processEvents();
    }
}
BENCHMARK(BM_Command1ClickAndRepaint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    quimbel::testing::SilenceOffscreenRaiseMessages();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quimbel::ui::SetUpApplication(app);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
