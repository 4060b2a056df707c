// Each window as built from its design: geometry, stacking, names, fonts, and
// every caption fitting its control in the font actually chosen. CTest runs
// this suite at several screen scale factors.

#include "Appearance.h"
#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Forms.h"
#include "QtAccess.h"
#include "QtWindowSystem.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace quimbel::testing {
namespace {

using forms::Form1;
using forms::Form2;
using forms::Form3;
using forms::Form4;
using ui::ControlKind;

int PixelsFromTwips(int twips) { return ui::PixelsAt(twips, ui::DesignDpi); }

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

struct WindowCase {
    const char* name;
    std::function<ui::Form&(ui::FormsRuntime&)> load;
};

void PrintTo(const WindowCase& c, std::ostream* out) { *out << c.name; }

// Loads a window the way the program does; the main window's Load hands over
// to the welcome, which leaves it loaded and hidden: enough for its layout.
const WindowCase Windows[] = {
    {"Form1",
     [](ui::FormsRuntime& r) -> ui::Form& {
         r.Start<Form1>();
         return r.DefaultInstance<Form1>();
     }},
    {"Form2",
     [](ui::FormsRuntime& r) -> ui::Form& {
         r.DefaultInstance<Form2>().Show();
         return r.DefaultInstance<Form2>();
     }},
    {"Form3",
     [](ui::FormsRuntime& r) -> ui::Form& {
         r.DefaultInstance<Form3>().Show();
         return r.DefaultInstance<Form3>();
     }},
    {"Form4",
     [](ui::FormsRuntime& r) -> ui::Form& {
         r.DefaultInstance<Form4>().Show();
         return r.DefaultInstance<Form4>();
     }},
};

class WindowLayout : public ::testing::TestWithParam<WindowCase> {
protected:
    void SetUp() override {
        runtime_ = std::make_unique<ui::FormsRuntime>(system_);
        form_ = &GetParam().load(*runtime_);
        ASSERT_TRUE(form_->IsLoaded());
        // A window loaded hidden gets its fitted fonts as Show would give them.
        ui::QtWindowOf(*form_)->FitFonts();
    }
    void TearDown() override { runtime_.reset(); }

    const ui::WindowDesign& Design() const { return form_->Design(); }
    QWidget* Control(std::string_view name) const { return ui::QtControlOf(*form_, name); }

private:
    ui::QtWindowSystem system_;
    std::unique_ptr<ui::FormsRuntime> runtime_;
    ui::Form* form_ = nullptr;

protected:
    ui::Form& Window() const { return *form_; }
};

TEST_P(WindowLayout, GeometryMatchesTheDesign) {
    QWidget* window = ui::QtWindowOf(Window());
    EXPECT_EQ(window->windowTitle(), Utf8(Design().caption));
    EXPECT_EQ(window->size(),
              QSize(PixelsFromTwips(Design().clientWidth), PixelsFromTwips(Design().clientHeight)));
    for (const auto& control : Design().controls) {
        SCOPED_TRACE(std::string(control.name));
        // Every design value is a whole number of pixels.
        for (int twips : {control.left, control.top, control.width, control.height})
            EXPECT_EQ(twips % 15, 0);
        QWidget* widget = Control(control.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(),
                  QRect(PixelsFromTwips(control.left), PixelsFromTwips(control.top),
                        PixelsFromTwips(control.width), PixelsFromTwips(control.height)));
        QWidget* container = control.container.empty() ? window : Control(control.container);
        EXPECT_EQ(widget->parentWidget(), container);
        EXPECT_EQ(widget->objectName(), Utf8(control.name));
    }
}

TEST_P(WindowLayout, ControlsAreOfTheirKindAndNamedForScreenReaders) {
    for (const auto& control : Design().controls) {
        SCOPED_TRACE(std::string(control.name));
        QWidget* widget = Control(control.name);
        ASSERT_NE(widget, nullptr);
        const QString caption = Utf8(control.caption).replace("\r\n", "\n");
        const QString toolTip = Utf8(control.toolTip);
        EXPECT_EQ(widget->toolTip(), toolTip);
        switch (control.kind) {
        case ControlKind::Label:
            ASSERT_NE(qobject_cast<QLabel*>(widget), nullptr);
            EXPECT_EQ(qobject_cast<QLabel*>(widget)->text(), caption);
            EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
            break;
        case ControlKind::TextBox: {
            auto* field = qobject_cast<QPlainTextEdit*>(widget);
            ASSERT_NE(field, nullptr);
            EXPECT_TRUE(field->toPlainText().isEmpty());
            EXPECT_FALSE(field->isReadOnly());
            EXPECT_EQ(field->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            EXPECT_EQ(field->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            EXPECT_EQ(field->lineWrapMode(), QPlainTextEdit::WidgetWidth);
            EXPECT_TRUE(field->tabChangesFocus());
            break;
        }
        case ControlKind::CommandButton: {
            auto* button = qobject_cast<QPushButton*>(widget);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->text(), caption);
            EXPECT_FALSE(button->isDefault());
            break;
        }
        case ControlKind::Frame:
            ASSERT_NE(qobject_cast<QGroupBox*>(widget), nullptr);
            EXPECT_EQ(qobject_cast<QGroupBox*>(widget)->title(), caption);
            EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
            break;
        }
    }
}

TEST_P(WindowLayout, LabelsLieBehindTheOtherControls) {
    for (const auto& label : Design().controls) {
        if (label.kind != ControlKind::Label)
            continue;
        QWidget* labelWidget = Control(label.name);
        const QObjectList& siblings = labelWidget->parentWidget()->children();
        for (const auto& other : Design().controls) {
            QWidget* otherWidget = Control(other.name);
            if (other.kind == ControlKind::Label ||
                otherWidget->parentWidget() != labelWidget->parentWidget())
                continue;
            SCOPED_TRACE(std::string(label.name) + " behind " + std::string(other.name));
            EXPECT_LT(siblings.indexOf(labelWidget), siblings.indexOf(otherWidget));
        }
    }
}

// Whether a caption's ink, laid out as the label draws it, stays inside.
void ExpectCaptionFits(const QLabel& label) {
    const QStringList lines = label.text().split('\n');
    const ui::CaptionLayout layout = ui::LayOutCaption(label.font(), lines, label.height());
    const QFontMetricsF metrics(label.font());
    EXPECT_LE(qreal(QFontInfo(label.font()).pixelSize()), layout.pitch + 1e-9) << "lines overlap";
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        SCOPED_TRACE(lines[i].toStdString());
        EXPECT_LE(metrics.horizontalAdvance(lines[i]), label.width());
        const QRectF ink = metrics.tightBoundingRect(lines[i]).translated(
            0, layout.firstBaseline + qreal(i) * layout.pitch);
        EXPECT_GE(ink.top(), 0.0);
        EXPECT_LE(ink.bottom(), qreal(label.height()));
        EXPECT_LE(ink.right(), qreal(label.width()));
    }
}

TEST_P(WindowLayout, EveryCaptionFitsItsControlOnOneLine) {
    for (const auto& control : Design().controls) {
        SCOPED_TRACE(std::string(control.name));
        QWidget* widget = Control(control.name);
        const QFontMetricsF metrics(widget->font());
        switch (control.kind) {
        case ControlKind::Label:
            ExpectCaptionFits(*qobject_cast<QLabel*>(widget));
            break;
        case ControlKind::CommandButton: {
            auto* button = qobject_cast<QPushButton*>(widget);
            QStyleOptionButton option;
            option.initFrom(button);
            const int margin =
                button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
            EXPECT_LE(metrics.horizontalAdvance(button->text()) + 2 * margin, button->width());
            EXPECT_LE(metrics.height(), button->height());
            break;
        }
        case ControlKind::Frame: {
            auto* frame = qobject_cast<QGroupBox*>(widget);
            EXPECT_LE(metrics.horizontalAdvance(frame->title()) + 16, frame->width());
            break;
        }
        case ControlKind::TextBox: {
            // Room for two lines of text.
            auto* field = qobject_cast<QPlainTextEdit*>(widget);
            const qreal needed = 2 * metrics.lineSpacing() +
                                 2 * field->document()->documentMargin() + 2 * field->frameWidth();
            EXPECT_LE(needed, qreal(field->height()));
            break;
        }
        }
    }
}

// Every window is of a fixed size. Qt's own title bar on Wayland sets a
// maximised state on the QWindow from its maximise button, whatever the
// window flags say; the window takes it back and keeps its designed size.
// Minimising is left to work.
TEST_P(WindowLayout, KeepsItsDesignedSizeWhenAskedToGrow) {
    ui::QtWindow* window = ui::QtWindowOf(Window());
    ASSERT_NE(window, nullptr);
    window->Show();
    QWindow* handle = window->windowHandle();
    ASSERT_NE(handle, nullptr);
    const QSize designed = window->size();
    struct Ask {
        Qt::WindowStates asked;
        Qt::WindowStates kept;
    };
    const Ask asks[] = {
        {Qt::WindowMaximized, Qt::WindowNoState},
        {Qt::WindowFullScreen, Qt::WindowNoState},
        {Qt::WindowMaximized | Qt::WindowFullScreen, Qt::WindowNoState},
        {Qt::WindowMinimized | Qt::WindowMaximized, Qt::WindowMinimized},
        {Qt::WindowMinimized, Qt::WindowMinimized},
    };
    for (const Ask& ask : asks) {
        SCOPED_TRACE(static_cast<int>(ask.asked));
        handle->setWindowStates(ask.asked);
        QCoreApplication::processEvents();
        EXPECT_EQ(handle->windowStates(), ask.kept);
        EXPECT_EQ(window->windowState() & ~Qt::WindowActive, ask.kept);
        EXPECT_EQ(window->size(), designed);
        handle->setWindowStates(Qt::WindowNoState);
        QCoreApplication::processEvents();
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowLayout, ::testing::ValuesIn(Windows),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Facts of the main window's design that the layout rests on ----------

class MainWindowDesign : public ::testing::Test {
protected:
    static const ui::ControlDesign& Control(std::string_view name) {
        for (const auto& control : Form1::Layout.controls)
            if (control.name == name)
                return control;
        throw std::out_of_range(std::string(name));
    }
    static int Right(std::string_view name) { return Control(name).left + Control(name).width; }
    static int Bottom(std::string_view name) { return Control(name).top + Control(name).height; }
};

TEST_F(MainWindowDesign, RowsEdgesAndMarginsLineUp) {
    // The buttons' column and the description panel end on one right edge,
    // the frame and the panel on one bottom edge, with equal margins to the
    // window's right and bottom.
    EXPECT_EQ(Right("Command3"), Right("Label3"));
    EXPECT_EQ(Right("Command4"), Right("Label3"));
    EXPECT_EQ(Bottom("Frame1"), Bottom("Label3"));
    EXPECT_EQ(Form1::Layout.clientWidth - Right("Label3"),
              Form1::Layout.clientHeight - Bottom("Label3"));
    // Two rows: inches, then centimetres.
    for (auto name : {"Text1", "Command1", "Command3"})
        EXPECT_EQ(Control(name).top, Control("Label2").top) << name;
    for (auto name : {"Text2", "Command2", "Command4"})
        EXPECT_EQ(Control(name).top, Control("Label1").top) << name;
    // No two windowed controls of the window overlap.
    for (const auto& a : Form1::Layout.controls)
        for (const auto& b : Form1::Layout.controls) {
            if (&a >= &b || a.kind == ControlKind::Label || b.kind == ControlKind::Label ||
                a.kind == ControlKind::Frame || b.kind == ControlKind::Frame)
                continue;
            const QRect ra(a.left, a.top, a.width, a.height);
            const QRect rb(b.left, b.top, b.width, b.height);
            EXPECT_FALSE(ra.intersects(rb)) << a.name << " and " << b.name;
        }
}

TEST_F(MainWindowDesign, SideFieldsLieInTheFrameLevelWithTheirLabels) {
    const auto& frame = Control("Frame1");
    for (auto [field, label] : {std::pair{"Text3", "Label4"}, std::pair{"Text4", "Label5"}}) {
        SCOPED_TRACE(field);
        EXPECT_TRUE(Control(field).container.empty());
        EXPECT_GE(Control(field).left, frame.left);
        EXPECT_GE(Control(field).top, frame.top);
        EXPECT_LE(Right(field), Right("Frame1"));
        EXPECT_LE(Bottom(field), Bottom("Frame1"));
        EXPECT_EQ(Control(label).container, "Frame1");
        EXPECT_EQ(frame.top + Control(label).top, Control(field).top);
    }
}

TEST(MainWindow, SideFieldsStackAboveTheFrame) {
    ui::QtWindowSystem system;
    ui::FormsRuntime runtime(system);
    runtime.Start<Form1>();
    Form1& form = runtime.DefaultInstance<Form1>();
    const QObjectList& children = ui::QtWindowOf(form)->children();
    const auto index = [&](const char* name) {
        return children.indexOf(ui::QtControlOf(form, name));
    };
    EXPECT_GT(index("Text3"), index("Frame1"));
    EXPECT_GT(index("Text4"), index("Frame1"));
    EXPECT_GT(index("Text1"), index("Label2")) << "Label2 reaches under Text1";
}

TEST(MainWindow, DescriptionPanelIsCyanWithTenLines) {
    ui::QtWindowSystem system;
    ui::FormsRuntime runtime(system);
    runtime.Start<Form1>();
    QLabel& panel = *ui::QtControlOf<QLabel>(runtime.DefaultInstance<Form1>(), "Label3");
    EXPECT_EQ(panel.palette().color(QPalette::Window), QColor(0, 255, 255));
    EXPECT_EQ(panel.palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_TRUE(panel.autoFillBackground());
    const QStringList lines = panel.text().split('\n');
    ASSERT_EQ(lines.size(), 10);
    const QStringList text{"此软件为各种显示屏英寸尺寸与厘米尺",
                           "寸之间的换算，换算之后得到的厘米尺",
                           "寸为显示屏的对角线、长、宽（高）的",
                           "长度（换算时请注意单位）（长、宽只", "为厘米的换算，英寸不换算）"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(lines[2 * i].isEmpty());
        EXPECT_EQ(lines[2 * i + 1], text[i]);
    }
}

TEST(Icon, EveryWindowCarriesTheApplicationIcon) {
    ui::QtWindowSystem system;
    ui::FormsRuntime runtime(system);
    runtime.Start<Form1>();
    const QIcon icon = ui::QtWindowOf(runtime.DefaultInstance<Form4>())->windowIcon();
    ASSERT_FALSE(icon.isNull());
    // Every size a title bar or task switcher asks for, at up to 2x.
    const QList<QSize> sizes = icon.availableSizes();
    for (int side : {16, 32, 48, 128})
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
    EXPECT_EQ(ui::QtWindowOf(runtime.DefaultInstance<Form1>())->windowIcon().cacheKey(),
              icon.cacheKey());
}

// --- Captions ---------------------------------------------------------------

// A label naming a field on its line, a button and a frame, each caption with
// an "&" before a different letter.
constexpr ui::ControlDesign AmpersandControls[] = {
    {"Label1", ControlKind::Label, ui::OnWindow, 120, 120, 1200, 255, "A&B", "", 0},
    {"Text1", ControlKind::TextBox, ui::OnWindow, 1440, 120, 1500, 615, "", "", 1},
    {"Command1", ControlKind::CommandButton, ui::OnWindow, 120, 900, 1500, 615, "C&D", "", 2},
    {"Frame1", ControlKind::Frame, ui::OnWindow, 120, 1700, 3000, 1200, "E&F", "", 3},
    {"Text2", ControlKind::TextBox, "Frame1", 240, 360, 1500, 615, "", "", 4},
};
constexpr ui::WindowDesign AmpersandDesign{"&", 3300, 3000, 0, 0, AmpersandControls};

struct CountedClicks final : ui::WindowEvents {
    void Clicked(int) override { ++clicks; }
    void CloseRequested() override {}
    int clicks = 0;
};

// Counts the shortcut events a widget gets: one arrives for each access key
// pressed that the widget's caption took.
class ShortcutCounter final : public QObject {
public:
    int shortcuts = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Shortcut)
            ++shortcuts;
        return false;
    }
};

TEST(Captions, AnAmpersandIsACharacterAndMarksNoAccessKey) {
    const ui::WindowPlan plan = ui::PlanWindow(AmpersandDesign);
    CountedClicks events;
    std::string startupId;
    ui::QtWindow window(plan, events, startupId);
    window.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    struct Row {
        const char* control;
        const char* designed;
        Qt::Key designedKey;
        const char* set;
        Qt::Key setKey;
    };
    const Row rows[] = {
        {"Label1", "A&B", Qt::Key_B, "G&H", Qt::Key_H},
        {"Command1", "C&D", Qt::Key_D, "I&J", Qt::Key_J},
        {"Frame1", "E&F", Qt::Key_F, "K&L", Qt::Key_L},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control);
        const int index = plan.IndexOf(row.control);
        ShortcutCounter counter;
        window.Control(index)->installEventFilter(&counter);
        EXPECT_EQ(window.Text(index), row.designed);
        QTest::keyClick(&window, row.designedKey, Qt::AltModifier);
        window.SetText(index, row.set);
        EXPECT_EQ(window.Text(index), row.set);
        QTest::keyClick(&window, row.setKey, Qt::AltModifier);
        EXPECT_EQ(counter.shortcuts, 0);
        window.Control(index)->removeEventFilter(&counter);
    }
    EXPECT_EQ(events.clicks, 0);
}

// --- Fonts ------------------------------------------------------------------

TEST(Fonts, DefaultFontShowsSimplifiedChinese) {
    const QFontInfo info(QApplication::font());
    EXPECT_TRUE(
        QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::SimplifiedChinese))
        << info.family().toStdString();
    EXPECT_FALSE(info.family().contains("JP")) << "Japanese glyph shapes";
    EXPECT_EQ(QApplication::font(), ui::DefaultFont());
}

TEST(Fonts, WelcomeLineIsABoldSongFace) {
    ui::QtWindowSystem system;
    ui::FormsRuntime runtime(system);
    Form4& welcome = runtime.DefaultInstance<Form4>();
    welcome.Show();
    const QFont font = ui::QtControlOf<QLabel>(welcome, "Label1")->font();
    const QFontInfo info(font);
    EXPECT_TRUE(info.bold());
    // 12 points at 96 dots per inch, less only as far as a stand-in face needs
    // to keep its ink inside the label (the fit itself is checked above).
    EXPECT_LE(info.pixelSize(), 16);
    EXPECT_GE(info.pixelSize(), 14);
    QStringList song;
    for (const char* family : Form4::WelcomeFont.families)
        song << QString::fromUtf8(family);
    EXPECT_TRUE(song.contains(info.family())) << info.family().toStdString();
    EXPECT_EQ(ui::QtControlOf<QLabel>(welcome, "Label1")->text(), " 欢迎使用 Quimbel V2.3");
    // The other controls keep the window's font.
    EXPECT_EQ(ui::QtControlOf<QPushButton>(welcome, "Command1")->font(),
              ui::QtWindowOf(welcome)->font());
}

// The main window is loaded hidden behind the welcome dialog: it measures no
// fonts until it is first shown, and then has them fitted.
TEST(Fonts, AWindowLoadedHiddenIsFittedWhenFirstShown) {
    ui::QtWindowSystem system;
    ui::FormsRuntime runtime(system);
    runtime.Start<Form1>();
    Form1& main = runtime.DefaultInstance<Form1>();
    ASSERT_TRUE(main.IsLoaded());
    ASSERT_FALSE(main.IsVisible());
    QWidget* window = ui::QtWindowOf(main);
    EXPECT_FALSE(window->testAttribute(Qt::WA_SetFont)) << "fitted while hidden";
    main.Show();
    EXPECT_TRUE(window->testAttribute(Qt::WA_SetFont));
}

} // namespace
} // namespace quimbel::testing
