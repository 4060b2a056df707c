// The rules that turn a design into a window, as both back ends receive them:
// scaling, containers, stacking, tab order, captions, placement and fonts.

#include "WindowPlan.h"
#include "AccessibilityTable.h"
#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quimbel::testing {
namespace {

using namespace ui;

std::vector<std::string> Names(const WindowPlan& plan, const std::vector<int>& indices) {
    std::vector<std::string> names;
    for (int i : indices)
        names.emplace_back(plan.controls[static_cast<std::size_t>(i)].Name());
    return names;
}

TEST(Scaling, TwipsBecomePixelsAtEveryCommonResolution) {
    struct Case {
        int twips;
        int dpi;
        int pixels;
    };
    const Case cases[] = {
        {1440, 96, 96},   {15, 96, 1}, {7350, 96, 490}, {7350, 120, 613}, {7350, 144, 735},
        {7350, 192, 980}, {8, 96, 1},  {7, 96, 0},      {-15, 96, -1},    {0, 192, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PixelsAt(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
    EXPECT_EQ(FontPixelsAt(9, 96), 12);
    EXPECT_EQ(FontPixelsAt(12, 96), 16);
    EXPECT_EQ(FontPixelsAt(9, 120), 15);
    EXPECT_EQ(FontPixelsAt(9, 144), 18);
}

TEST(Scaling, ControlsThatMeetInTheDesignMeetOnTheScreen) {
    // Two rows of a design that touch: at 125 % each edge rounds on its own,
    // so scaling sizes instead of edges would open a gap or an overlap.
    const Rect upper{0, 241, 1000, 241};
    const Rect lower{0, 482, 1000, 241};
    for (int dpi : {96, 120, 144, 168, 192}) {
        SCOPED_TRACE(dpi);
        const Rect a = PixelsAt(upper, dpi);
        const Rect b = PixelsAt(lower, dpi);
        EXPECT_EQ(a.top + a.height, b.top);
    }
}

TEST(Plan, MainWindowControlsSitInTheirContainersWithTheirNames) {
    const WindowPlan plan = PlanWindow(forms::Form1::Layout);
    ASSERT_EQ(plan.controls.size(), forms::Form1::Layout.controls.size());
    EXPECT_EQ(plan.caption, "Quimbel V2.3");
    const int frame = plan.IndexOf("Frame1");
    for (const ControlPlan& control : plan.controls) {
        SCOPED_TRACE(std::string(control.Name()));
        const bool inFrame = control.Name() == "Label4" || control.Name() == "Label5";
        EXPECT_EQ(control.container, inFrame ? frame : NoControl);
    }
    const ControlPlan& panel = plan.controls[static_cast<std::size_t>(plan.IndexOf("Label3"))];
    ASSERT_EQ(panel.captionLines.size(), 10u);
    EXPECT_EQ(panel.captionLines[0], "");
    EXPECT_EQ(panel.captionLines[1], "此软件为各种显示屏英寸尺寸与厘米尺");
    EXPECT_EQ(panel.captionLines[9], "为厘米的换算，英寸不换算）");
    EXPECT_EQ(panel.caption.find('\r'), std::string::npos);
}

// What a screen reader says of each window and control, worked out once for
// both back ends.
TEST(Plan, NamesDescriptionsAndLabelsForAssistiveTechnology) {
    for (const AccessibleWindow& window : AccessibleWindows) {
        SCOPED_TRACE(std::string(window.design->caption));
        const WindowPlan plan = PlanWindow(*window.design);
        const WindowRole role = window.role == AccessibleRole::Alert    ? WindowRole::Alert
                                : window.role == AccessibleRole::Dialog ? WindowRole::Dialog
                                                                        : WindowRole::Window;
        EXPECT_EQ(plan.role, role);
        EXPECT_EQ(plan.caption, window.name);
        EXPECT_EQ(plan.description, window.description);
    }
    std::set<std::pair<const WindowDesign*, std::string_view>> covered;
    for (const AccessibleControl& row : AccessibleControls) {
        SCOPED_TRACE(std::string(row.control));
        const WindowPlan plan = PlanWindow(*row.design);
        const int index = plan.IndexOf(row.control);
        ASSERT_NE(index, NoControl);
        const ControlPlan& control = plan.controls[static_cast<std::size_t>(index)];
        EXPECT_EQ(control.accessibleName, row.name);
        EXPECT_EQ(control.accessibleDescription, row.description);
        EXPECT_EQ(control.labelledBy,
                  row.labelledBy.empty() ? NoControl : plan.IndexOf(row.labelledBy));
        if (!row.labelledBy.empty() && control.labelledBy != NoControl) {
            EXPECT_EQ(plan.controls[static_cast<std::size_t>(control.labelledBy)].labelFor, index);
        }
        covered.emplace(row.design, row.control);
    }
    // Every control of every window is in the table.
    for (const AccessibleWindow& window : AccessibleWindows)
        for (const ControlDesign& control : window.design->controls)
            EXPECT_TRUE(covered.contains({window.design, control.name})) << control.name;
}

TEST(Plan, SpokenTextJoinsTheLinesALayoutBroke) {
    const struct {
        const char* name;
        std::vector<std::string> lines;
        const char* spoken;
    } cases[] = {
        {"one line", {"清除"}, "清除"},
        {"blank lines and spaces at the ends go", {"", " 欢迎 ", "", "使用 "}, "欢迎使用"},
        {"a Chinese word split across lines joins", {"厘米尺", "寸"}, "厘米尺寸"},
        {"Latin words keep a space between lines", {"Quimbel", "V2.3"}, "Quimbel V2.3"},
        {"Latin next to Chinese needs none", {"Quimbel", "开发组"}, "Quimbel开发组"},
        {"nothing at all", {"", " "}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpokenText(c.lines), c.spoken) << c.name;
}

// A field whose label is not on its line, or that has none, is named by its
// tooltip.
TEST(Plan, AFieldWithoutALabelOnItsLineIsNamedByItsTooltip) {
    static constexpr ControlDesign controls[] = {
        {"Above", ControlKind::Label, OnWindow, 120, 120, 1200, 255, "上面：", "", 0},
        {"Field", ControlKind::TextBox, OnWindow, 1440, 600, 1200, 615, "", "输入数据", 1},
        {"Right", ControlKind::Label, OnWindow, 2760, 600, 1200, 255, "右边", "", 2}};
    const WindowDesign design{"test", 4200, 1500, 0, 0, controls};
    const WindowPlan plan = PlanWindow(design);
    const ControlPlan& field = plan.controls[1];
    EXPECT_EQ(field.labelledBy, NoControl);
    EXPECT_EQ(field.accessibleName, "输入数据");
    EXPECT_EQ(field.accessibleDescription, "输入数据");
}

TEST(Plan, StackingAndTabOrderFollowTheDesign) {
    const WindowPlan main = PlanWindow(forms::Form1::Layout);
    EXPECT_EQ(Names(main, main.frontToBack),
              (std::vector<std::string>{"Text4", "Text3", "Command4", "Command3", "Command2",
                                        "Command1", "Text2", "Text1", "Frame1"}));
    EXPECT_EQ(Names(main, main.tabOrder),
              (std::vector<std::string>{"Text1", "Text2", "Command1", "Command2", "Command3",
                                        "Command4", "Text3", "Text4"}));
    EXPECT_EQ(main.firstFocus, main.IndexOf("Text1"));

    // Without a stacking list, windowed controls stack in design order and
    // labels stay out of it; a label's TabIndex does not make it take focus.
    const WindowPlan welcome = PlanWindow(forms::Form4::Layout);
    EXPECT_EQ(Names(welcome, welcome.frontToBack), std::vector<std::string>{"Command1"});
    EXPECT_EQ(Names(welcome, welcome.tabOrder), std::vector<std::string>{"Command1"});
    EXPECT_EQ(welcome.firstFocus, welcome.IndexOf("Command1"));
}

TEST(Plan, LabelsGoBehindInTheOneStackingOrderBackEndsApply) {
    using enum ControlKind;
    const std::vector<ControlDesign> interleaved = {
        {"Label1", Label, OnWindow, 0, 0, 15, 15, "", "", 0},
        {"Text1", TextBox, OnWindow, 0, 0, 15, 15, "", "", 1},
        {"Frame1", Frame, OnWindow, 0, 0, 15, 15, "", "", 2},
        {"Label2", Label, "Frame1", 0, 0, 15, 15, "", "", 3},
        {"Command1", CommandButton, "Frame1", 0, 0, 15, 15, "", "", 4},
        {"Label3", Label, OnWindow, 0, 0, 15, 15, "", "", 5},
    };
    const std::string_view listed[] = {"Command1", "Frame1", "Text1"};
    const WindowDesign unlisted{"small", 1500, 1500, 0, 0, interleaved};
    const WindowDesign withList{"small", 1500, 1500, 0, 0, interleaved, listed};
    struct Case {
        const char* name;
        const WindowDesign* design;
        std::vector<std::string> frontToBack;
    };
    const Case cases[] = {
        // Windowed controls as designed or listed, then the labels: each
        // later one behind the earlier ones, as lowering them in turn leaves
        // them.
        {"design order", &unlisted, {"Text1", "Frame1", "Command1", "Label1", "Label2", "Label3"}},
        {"listed", &withList, {"Command1", "Frame1", "Text1", "Label1", "Label2", "Label3"}},
        {"main window",
         &forms::Form1::Layout,
         {"Text4", "Text3", "Command4", "Command3", "Command2", "Command1", "Text2", "Text1",
          "Frame1", "Label2", "Label1", "Label4", "Label5", "Label3"}},
        {"welcome", &forms::Form4::Layout, {"Command1", "Label1", "Label2", "Label3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowPlan plan = PlanWindow(*c.design);
        EXPECT_EQ(Names(plan, plan.stacking), c.frontToBack);
    }
    // Every window's order holds each control once.
    for (const WindowDesign* design : {&forms::Form1::Layout, &forms::Form2::Layout,
                                       &forms::Form3::Layout, &forms::Form4::Layout}) {
        SCOPED_TRACE(std::string(design->caption));
        const WindowPlan plan = PlanWindow(*design);
        std::set<int> seen(plan.stacking.begin(), plan.stacking.end());
        EXPECT_EQ(plan.stacking.size(), plan.controls.size());
        EXPECT_EQ(seen.size(), plan.controls.size());
    }
}

TEST(Plan, BadDesignsAreNamedErrors) {
    struct Case {
        const char* name;
        std::vector<ControlDesign> controls;
        std::vector<std::string_view> stacking;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"unknown frame",
         {{"Label1", ControlKind::Label, "Frame9", 0, 0, 15, 15, "", "", 0}},
         {},
         "Frame9"},
        {"frame declared after its control",
         {{"Label1", ControlKind::Label, "Frame1", 0, 0, 15, 15, "", "", 0},
          {"Frame1", ControlKind::Frame, OnWindow, 0, 0, 15, 15, "", "", 1}},
         {},
         "Frame1"},
        {"container that is no frame",
         {{"Text1", ControlKind::TextBox, OnWindow, 0, 0, 15, 15, "", "", 0},
          {"Label1", ControlKind::Label, "Text1", 0, 0, 15, 15, "", "", 1}},
         {},
         "Text1"},
        {"name used twice",
         {{"Text1", ControlKind::TextBox, OnWindow, 0, 0, 15, 15, "", "", 0},
          {"Text1", ControlKind::TextBox, OnWindow, 0, 0, 15, 15, "", "", 1}},
         {},
         "twice"},
        {"stacking names a label",
         {{"Label1", ControlKind::Label, OnWindow, 0, 0, 15, 15, "", "", 0}},
         {"Label1"},
         "Label1"},
        {"stacking leaves a control out",
         {{"Text1", ControlKind::TextBox, OnWindow, 0, 0, 15, 15, "", "", 0},
          {"Text2", ControlKind::TextBox, OnWindow, 0, 0, 15, 15, "", "", 1}},
         {"Text1"},
         "Text2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowDesign design{"bad", 1500, 1500, 0, 0, c.controls, c.stacking};
        try {
            PlanWindow(design);
            ADD_FAILURE() << "no error";
        } catch (const DesignError& error) {
            EXPECT_NE(std::string(error.what()).find(c.said), std::string::npos) << error.what();
        }
    }
}

TEST(Plan, ControlsAreFoundByNameAndKind) {
    const WindowPlan plan = PlanWindow(forms::Form2::Layout);
    EXPECT_EQ(plan.IndexOfKind("Command1", ControlKind::CommandButton), 0);
    EXPECT_EQ(plan.IndexOf("Command9"), NoControl);
    EXPECT_THROW(plan.IndexOfKind("Command9", ControlKind::CommandButton), DesignError);
    EXPECT_THROW(plan.IndexOfKind("Label1", ControlKind::TextBox), DesignError);
}

TEST(Captions, StoredLinesSplitOnCarriageReturnLineFeedOnly) {
    EXPECT_EQ(CaptionLines(""), std::vector<std::string>{""});
    EXPECT_EQ(CaptionLines("确定"), std::vector<std::string>{"确定"});
    EXPECT_EQ(CaptionLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(CaptionLines("\r\n"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(CaptionLines("a\nb"), std::vector<std::string>{"a\nb"});
}

TEST(Captions, LinesShareTheHeightAndTheirInkIsCentred) {
    // Room for every line at the font's spacing: the spacing is the pitch,
    // and the ink (12 above the baseline, 3 below) sits in the middle of it.
    const CaptionLayout roomy = LayOutCaption(16, -12, 3, 1, 17);
    EXPECT_DOUBLE_EQ(roomy.pitch, 16);
    EXPECT_DOUBLE_EQ(roomy.firstBaseline, 12.5);
    // Ten lines in 137 pixels: the lines close up instead of running out.
    const CaptionLayout tight = LayOutCaption(16, -10, 2, 10, 137);
    EXPECT_DOUBLE_EQ(tight.pitch, 13.7);
    EXPECT_GE(tight.firstBaseline - 10, 0.0);
    EXPECT_LE(tight.firstBaseline + 9 * tight.pitch + 2, 137.0);
}

TEST(Placement, WindowsOpenAtTheirDesignPositionAndStayOnTheScreen) {
    struct Case {
        const char* name;
        Rect client;
        Rect area;
        Rect placed;
    };
    const Case cases[] = {
        {"inside", {189, 194, 490, 298}, {0, 0, 1280, 800}, {189, 194, 490, 298}},
        {"offset work area", {189, 194, 490, 298}, {0, 30, 1280, 770}, {189, 224, 490, 298}},
        {"too far right", {900, 194, 490, 298}, {0, 0, 1280, 800}, {790, 194, 490, 298}},
        {"too far down", {189, 700, 490, 298}, {0, 0, 1280, 800}, {189, 502, 490, 298}},
        {"bigger than the screen", {189, 194, 900, 700}, {0, 0, 800, 600}, {0, 0, 900, 700}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirstPosition(c.client, c.area), c.placed) << c.name;
}

TEST(Fonts, OnlyInstalledFamiliesAreNamedInTheirOrder) {
    const std::array<const char*, 3> song{"SimSun", "NSimSun", "Noto Serif CJK SC"};
    const auto installed = [](std::set<std::string> families) {
        return [families](std::string_view name) { return families.count(std::string(name)) != 0; };
    };
    EXPECT_EQ(InstalledFamilies(song, installed({"Noto Serif CJK SC", "SimSun"})),
              (std::vector<std::string>{"SimSun", "Noto Serif CJK SC"}));
    EXPECT_EQ(InstalledFamilies(song, installed({"Noto Serif CJK SC"})),
              std::vector<std::string>{"Noto Serif CJK SC"});
    // None installed: the whole list, for the toolkit's own fallback.
    EXPECT_EQ(InstalledFamilies(song, installed({})),
              (std::vector<std::string>{"SimSun", "NSimSun", "Noto Serif CJK SC"}));
}

TEST(Fonts, TheDefaultFaceIsAChineseUiFaceWithWindowsOwnFirst) {
    const auto families = DefaultFontFamilies();
    ASSERT_GE(families.size(), 3u);
    EXPECT_EQ(std::string(families[0]), "Microsoft YaHei UI");
    EXPECT_EQ(std::string(families[1]), "Microsoft YaHei");
    for (const char* family : families)
        EXPECT_EQ(std::string(family).find("JP"), std::string::npos) << family;
}

TEST(Captions, AmpersandsAreDoubledForToolkitsThatMarkAccessKeysAndHalvedBack) {
    struct Case {
        std::string_view caption;
        std::string_view shown;
    };
    const Case cases[] = {
        {"", ""},      {"确定", "确定"}, {"A&B", "A&&B"},   {"&", "&&"},
        {"A&", "A&&"}, {"&&", "&&&&"},   {"&&&", "&&&&&&"}, {"长&宽", "长&&宽"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.caption));
        EXPECT_EQ(DoubleAmpersands(c.caption), c.shown);
        EXPECT_EQ(HalveAmpersands(c.shown), c.caption);
    }
    // What a toolkit may hand back with a lone "&" keeps it.
    EXPECT_EQ(HalveAmpersands("A&B"), "A&B");
    EXPECT_EQ(HalveAmpersands("&&&"), "&&");
    for (ControlKind kind : {ControlKind::CommandButton, ControlKind::Frame, ControlKind::Label})
        EXPECT_TRUE(CaptionMayMarkAccessKey(kind));
    EXPECT_FALSE(CaptionMayMarkAccessKey(ControlKind::TextBox)) << "a field's text is its own";
}

// --- Fonts that fit -----------------------------------------------------------

// One line of `advance` pixels whose ink reaches 12 above and 3 below the
// baseline, in a font 15 high with lines 16 apart.
FontMeasure OneLine(double advance, int lines = 1) {
    return {15, 16, std::vector<LineMeasure>(static_cast<std::size_t>(lines), {advance, -12, 3})};
}

TEST(Fonts, CaptionsFitTheirControlsUpToTheEdge) {
    struct Case {
        const char* name;
        ControlKind kind;
        FontMeasure font;
        int width;
        int height;
        int dpi;
        bool fits;
    };
    const FontMeasure blankBetween{15, 16, {{40, -12, 3}, {0, 0, 0}, {40, -12, 3}}};
    const Case cases[] = {
        // Labels: the width, the ink inside, lines apart.
        {"label, as wide as its text", ControlKind::Label, OneLine(100), 100, 17, 96, true},
        {"label, half a pixel short", ControlKind::Label, OneLine(100.5), 100, 17, 96, false},
        {"label, ink just inside", ControlKind::Label, OneLine(40), 100, 15, 96, true},
        {"label, ink sticks out", ControlKind::Label, OneLine(40), 100, 14, 96, false},
        {"label, two lines a spacing apart", ControlKind::Label, OneLine(40, 2), 100, 32, 96, true},
        {"label, two lines closer than their ink", ControlKind::Label, OneLine(40, 2), 100, 29, 96,
         false},
        {"label, a blank line has no ink", ControlKind::Label, blankBetween, 100, 48, 96, true},
        // Buttons: 4 pixels at 96 dots an inch on every side.
        {"button, exactly inside its margins", ControlKind::CommandButton, OneLine(92), 100, 23, 96,
         true},
        {"button, a pixel too wide", ControlKind::CommandButton, OneLine(93), 100, 23, 96, false},
        {"button, a pixel too low", ControlKind::CommandButton, OneLine(92), 100, 22, 96, false},
        {"button, two lines", ControlKind::CommandButton, OneLine(92, 2), 100, 38, 96, true},
        {"button, two lines a pixel too tall", ControlKind::CommandButton, OneLine(92, 2), 100, 37,
         96, false},
        {"button, margins at 200 %", ControlKind::CommandButton, OneLine(92), 100, 23, 192, false},
        {"button, room at 200 %", ControlKind::CommandButton, OneLine(84), 100, 31, 192, true},
        // Frames: 8 pixels at 96 dots an inch each side of the title.
        {"frame, title inside its inset", ControlKind::Frame, OneLine(84), 100, 15, 96, true},
        {"frame, title into its inset", ControlKind::Frame, OneLine(85), 100, 200, 96, false},
        {"frame, lower than its title", ControlKind::Frame, OneLine(10), 100, 14, 96, false},
        {"frame, inset at 150 %", ControlKind::Frame, OneLine(84), 100, 200, 144, false},
        // Text boxes: two lines inside 2-pixel edges, whatever their width.
        {"field, two lines", ControlKind::TextBox, OneLine(500), 100, 34, 96, true},
        {"field, a pixel short", ControlKind::TextBox, OneLine(0), 100, 33, 96, false},
        {"field, edges at 200 %", ControlKind::TextBox, OneLine(0), 100, 37, 192, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CaptionFits(c.kind, c.font, c.width, c.height, c.dpi), c.fits) << c.name;
}

// A font whose every character is its size in pixels wide and tall: a caption
// of n characters needs n pixels a pixel of size. Records what it was asked.
struct FakeMeasurer {
    std::vector<FontRequest> asked;

    FontMeasure operator()(const FontRequest& font, std::span<const std::string> lines) {
        asked.push_back(font);
        const double pixels = font.pixels;
        FontMeasure measure{pixels, pixels, {}};
        for (const std::string& line : lines)
            measure.lines.push_back({pixels * double(line.size()), -0.75 * pixels, 0.25 * pixels});
        return measure;
    }
};

TEST(Fonts, EachFontStepsDownUntilItsCaptionsFitButNotBelowTheMinimum) {
    using enum ControlKind;
    static constexpr std::array<const char*, 1> Song{"SimSun"};
    static const FontDesign Own{Song, 12, true};
    // Widths in twips: 15 a pixel at 96 dots an inch.
    struct Case {
        const char* name;
        std::vector<ControlDesign> controls;
        int dpi;
        int windowPixels;
        std::map<std::string, int> ownPixels;
    };
    const std::vector<Case> cases = {
        {"all fit at 9 points",
         {{"Label1", Label, OnWindow, 0, 0, 15 * 120, 15 * 20, "abcdefghij", "", 0}},
         96,
         12,
         {}},
        {"a long caption makes the window's font smaller",
         {{"Label1", Label, OnWindow, 0, 0, 15 * 120, 15 * 20, "abc", "", 0},
          {"Label2", Label, OnWindow, 0, 0, 15 * 100, 15 * 20, "abcdefghij", "", 1}},
         96,
         10,
         {}},
        {"a field's height counts too",
         {{"Text1", TextBox, OnWindow, 0, 0, 15 * 100, 15 * 22, "", "", 0}},
         96,
         9,
         {}},
        {"no smaller than 6 points",
         {{"Label1", Label, OnWindow, 0, 0, 15 * 30, 15 * 20, "abcdefghij", "", 0}},
         96,
         8,
         {}},
        {"at 200 %",
         {{"Label1", Label, OnWindow, 0, 0, 15 * 100, 15 * 20, "abcdefghij", "", 0}},
         192,
         20,
         {}},
        {"own font starts at its points and fits its own caption alone",
         {{"Label1", Label, OnWindow, 0, 0, 15 * 140, 15 * 20, "abcdefghij", "", 0, {}, {}, &Own},
          {"Label2", Label, OnWindow, 0, 0, 15 * 100, 15 * 20, "abcdefghij", "", 1}},
         96,
         10,
         {{"Label1", 14}}},
        {"own font that fits keeps its size",
         {{"Label1", Label, OnWindow, 0, 0, 15 * 200, 15 * 20, "abcdefghij", "", 0, {}, {}, &Own}},
         96,
         12,
         {{"Label1", 16}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowDesign design{"fonts", 15 * 300, 15 * 300, 0, 0, c.controls};
        const WindowPlan plan = PlanWindow(design);
        FakeMeasurer measurer;
        const FittedFonts fonts = FitFonts(plan, c.dpi, std::ref(measurer));
        EXPECT_EQ(fonts.windowPixels, c.windowPixels);
        ASSERT_EQ(fonts.ownPixels.size(), plan.controls.size());
        for (std::size_t i = 0; i < plan.controls.size(); ++i) {
            const auto own = c.ownPixels.find(std::string(plan.controls[i].Name()));
            EXPECT_EQ(fonts.ownPixels[i], own == c.ownPixels.end() ? 0 : own->second)
                << plan.controls[i].Name();
        }
        // The window's font in the default faces, regular; an own font in its
        // design's faces and weight.
        for (const FontRequest& asked : measurer.asked) {
            const bool own = asked.families.data() == Own.families.data();
            EXPECT_TRUE(own || asked.families.data() == DefaultFontFamilies().data());
            EXPECT_EQ(asked.bold, own);
        }
    }
}

// --- Long lines in pieces -------------------------------------------------------

TEST(Pieces, APieceNeverEndsInsideWhatTheUserSeesAsOneCharacter) {
    struct Case {
        const char* name;
        std::u16string line;
        std::size_t start;
        std::size_t length;
        std::size_t end;
    };
    const Case cases[] = {
        {"plain text", u"abcdef", 0, 3, 3},
        {"a later piece", u"abcdef", 2, 3, 5},
        {"the line ends first", u"abc", 0, 5, 3},
        {"the line ends exactly", u"abc", 0, 3, 3},
        {"not inside a surrogate pair", u"ab\U0001F600c", 0, 3, 2},
        {"after a surrogate pair", u"ab\U0001F600c", 0, 4, 4},
        {"not before a combining accent", u"abe\u0301c", 0, 3, 2},
        {"after the accent", u"abe\u0301c", 0, 4, 4},
        {"not before an accent in a later piece", u"abcde\u0301f", 3, 2, 4},
        {"not before a kana voicing mark", u"ab\u304B\u3099c", 0, 3, 2},
        {"not before a symbol's combining mark", u"ab1\u20E3c", 0, 3, 2},
        {"not before a variation selector", u"ab\u2764\uFE0Fc", 0, 3, 2},
        {"not before a supplementary variation selector", u"a\u845B\U000E0100b", 0, 2, 1},
        {"not before a skin-tone modifier", u"a\U0001F44D\U0001F3FDb", 0, 3, 1},
        {"not around a zero-width joiner", u"a\U0001F468\u200D\U0001F469b", 0, 4, 1},
        {"not just after a zero-width joiner", u"a\U0001F468\u200D\U0001F469b", 0, 5, 1},
        {"forward only when nothing in the piece allows it", u"e\u0301\u0301\u0301x", 0, 2, 4},
        {"forward to the line's end", u"e\u0301\u0301", 0, 1, 3},
        {"a lone low surrogate is a unit of its own",
         std::u16string{u'a', u'b', 0xDC00, 0xDC00, u'c'}, 0, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PieceEnd(std::u16string_view(c.line), c.start, c.length), c.end);
    }
}

TEST(Pieces, WhatExtendsACharacter) {
    for (char32_t c : {U'\u0300', U'\u036F', U'\u0483', U'\u05B0', U'\u064B', U'\u1AB0', U'\u1DFF',
                       U'\u200D', U'\u20D0', U'\u20FF', U'\u3099', U'\uFE00', U'\uFE0F', U'\uFE20',
                       U'\U0001F3FB', U'\U0001F3FF', U'\U000E0100', U'\U000E01EF'})
        EXPECT_TRUE(ExtendsCharacter(c)) << std::hex << static_cast<unsigned>(c);
    for (char32_t c : {U'a', U'\u02FF', U'\u0370', U'\u200C', U'\u200E', U'\u2100', U'\u4E2D',
                       U'\uFE10', U'\uFE30', U'\U0001F3FA', U'\U0001F400', U'\U000E01F0'})
        EXPECT_FALSE(ExtendsCharacter(c)) << std::hex << static_cast<unsigned>(c);
}

} // namespace
} // namespace quimbel::testing
