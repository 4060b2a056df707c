// What the Windows back end makes of each window plan, at the resolutions of
// 100, 125, 150 and 200 %: the stock controls and their styles, where they
// sit, how they stack, the tab order, tooltips, fonts, and every caption
// fitting in the font actually made. A resolution other than the screen's is
// reached the way Windows moves a window to another monitor: WM_DPICHANGED.

#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Forms.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace quimbel::testing {
namespace {

using ui::ControlKind;
using ui::ControlPlan;

struct WindowCase {
    const char* name;
    std::function<ui::Form&(ui::FormsRuntime&)> load;
    // The client area at 96, 120, 144 and 192 dots an inch: the design's
    // twips at the resolution, rounded.
    SIZE client[4];
};

void PrintTo(const WindowCase& c, std::ostream* out) { *out << c.name; }

template <class F> ui::Form& Shown(ui::FormsRuntime& runtime) {
    runtime.DefaultInstance<F>().Show();
    return runtime.DefaultInstance<F>();
}

// Loaded as the program loads them; the main window's Load hands over to the
// welcome and leaves it loaded and hidden.
const WindowCase Windows[] = {
    {"Form1",
     [](ui::FormsRuntime& runtime) -> ui::Form& {
         runtime.Start<forms::Form1>();
         return runtime.DefaultInstance<forms::Form1>();
     },
     {{490, 298}, {613, 373}, {735, 447}, {980, 596}}},
    {"Form2", Shown<forms::Form2>, {{249, 123}, {311, 154}, {374, 185}, {498, 246}}},
    {"Form3", Shown<forms::Form3>, {{249, 123}, {311, 154}, {374, 185}, {498, 246}}},
    {"Form4", Shown<forms::Form4>, {{306, 202}, {383, 253}, {459, 303}, {612, 404}}},
};

constexpr UINT Resolutions[] = {96, 120, 144, 192};

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

LONG Style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

RECT RectIn(HWND window, HWND parent) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The children of a window, front first.
std::vector<HWND> Stacking(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// A font selected into a device context of its own while this lives.
class Measuring {
public:
    explicit Measuring(HFONT font)
        : dc_(CreateCompatibleDC(nullptr)), previous_(SelectObject(dc_, font)) {}
    ~Measuring() {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    Measuring(const Measuring&) = delete;
    Measuring& operator=(const Measuring&) = delete;

    int Width(const std::wstring& text) const {
        SIZE size{};
        GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    TEXTMETRICW Metrics() const {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        return metrics;
    }
    std::wstring Face() const {
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc_, LF_FACESIZE, face);
        return face;
    }
    // Whether the face itself, not a stand-in, has a glyph for every character.
    bool HasGlyphs(const std::wstring& text) const {
        std::vector<WORD> glyphs(text.size());
        GetGlyphIndicesW(dc_, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS);
        return std::none_of(glyphs.begin(), glyphs.end(), [](WORD g) { return g == 0xFFFF; });
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
}

class WindowAtResolution : public ::testing::TestWithParam<std::tuple<WindowCase, std::size_t>> {
protected:
    void SetUp() override {
        system_ = std::make_unique<ui::Win32WindowSystem>();
        runtime_ = std::make_unique<ui::FormsRuntime>(*system_);
        form_ = &Case().load(*runtime_);
        window_ = ui::Win32WindowOf(*form_);
        ASSERT_NE(window_, nullptr);
        // Form1 loads hidden: its windows are made to be measured.
        window_->Build();
        if (window_->Dpi() != Dpi())
            MoveToResolution(Dpi());
        ASSERT_EQ(window_->Dpi(), Dpi());
    }
    void TearDown() override {
        runtime_.reset();
        system_.reset();
    }

    const WindowCase& Case() const { return std::get<0>(GetParam()); }
    UINT Dpi() const { return Resolutions[std::get<1>(GetParam())]; }
    SIZE ExpectedClient() const { return Case().client[std::get<1>(GetParam())]; }
    const ui::WindowPlan& Plan() const { return form_->Plan(); }
    HWND Handle() const { return window_->Handle(); }
    HWND Control(std::size_t i) const { return window_->Control(static_cast<int>(i)); }
    HWND ContainerOf(const ControlPlan& control) const {
        return control.container == ui::NoControl ? Handle() : window_->Control(control.container);
    }
    int Scaled(int pixelsAt96) const {
        return MulDiv(pixelsAt96, static_cast<int>(Dpi()), USER_DEFAULT_SCREEN_DPI);
    }

    // As Windows does when the window reaches a monitor of that resolution:
    // the frame scaled about its top left corner.
    void MoveToResolution(UINT dpi) {
        RECT frame{};
        GetWindowRect(Handle(), &frame);
        const UINT old = window_->Dpi();
        RECT suggested{frame.left, frame.top,
                       frame.left + MulDiv(frame.right - frame.left, int(dpi), int(old)),
                       frame.top + MulDiv(frame.bottom - frame.top, int(dpi), int(old))};
        SendMessageW(Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    }

    std::unique_ptr<ui::Win32WindowSystem> system_;
    std::unique_ptr<ui::FormsRuntime> runtime_;
    ui::Form* form_ = nullptr;
    ui::Win32Window* window_ = nullptr;
};

TEST_P(WindowAtResolution, ClientAreaIsTheDesignAtTheResolution) {
    RECT client{};
    ASSERT_TRUE(GetClientRect(Handle(), &client));
    EXPECT_EQ(client.right, ExpectedClient().cx);
    EXPECT_EQ(client.bottom, ExpectedClient().cy);
}

TEST_P(WindowAtResolution, ControlsSitInTheirContainerWhereThePlanPutsThem) {
    for (std::size_t i = 0; i < Plan().controls.size(); ++i) {
        const ControlPlan& control = Plan().controls[i];
        SCOPED_TRACE(std::string(control.Name()));
        const HWND container = ContainerOf(control);
        EXPECT_EQ(GetParent(Control(i)), container);
        const RECT rect = RectIn(Control(i), container);
        const ui::Rect expected = ui::PixelsAt(control.twips, static_cast<int>(Dpi()));
        EXPECT_EQ(rect.left, expected.left);
        EXPECT_EQ(rect.top, expected.top);
        EXPECT_EQ(rect.right - rect.left, expected.width);
        EXPECT_EQ(rect.bottom - rect.top, expected.height);
        EXPECT_TRUE(Style(Control(i)) & WS_VISIBLE);
    }
}

TEST_P(WindowAtResolution, LabelsLieBehindAndWindowedControlsStackAsPlanned) {
    std::vector<HWND> parents{Handle()};
    for (std::size_t i = 0; i < Plan().controls.size(); ++i)
        if (Plan().controls[i].Kind() == ControlKind::Frame)
            parents.push_back(Control(i));
    for (const HWND parent : parents) {
        const std::vector<HWND> stacking = Stacking(parent);
        std::vector<HWND> expected;
        for (const int control : Plan().frontToBack)
            if (GetParent(Control(std::size_t(control))) == parent)
                expected.push_back(Control(std::size_t(control)));
        for (std::size_t i = 0; i < Plan().controls.size(); ++i)
            if (Plan().controls[i].Kind() == ControlKind::Label && GetParent(Control(i)) == parent)
                expected.push_back(Control(i));
        EXPECT_EQ(stacking, expected);
    }
    // Overlapping controls must not paint over each other.
    for (std::size_t i = 0; i < Plan().controls.size(); ++i)
        EXPECT_TRUE(Style(Control(i)) & WS_CLIPSIBLINGS) << Plan().controls[i].Name();
}

TEST_P(WindowAtResolution, ControlsHaveTheirClassesAndStyles) {
    for (std::size_t i = 0; i < Plan().controls.size(); ++i) {
        const ControlPlan& control = Plan().controls[i];
        SCOPED_TRACE(std::string(control.Name()));
        const HWND window = Control(i);
        const LONG style = Style(window);
        EXPECT_EQ(form_->Native()->Text(static_cast<int>(i)), control.caption);
        EXPECT_FALSE(style & (WS_HSCROLL | WS_VSCROLL));
        switch (control.Kind()) {
        case ControlKind::Label:
            EXPECT_EQ(ClassName(window), L"Static");
            EXPECT_EQ(style & SS_TYPEMASK, SS_LEFT);
            EXPECT_TRUE(style & SS_NOPREFIX) << "& shows as typed";
            EXPECT_FALSE(style & WS_TABSTOP);
            break;
        case ControlKind::TextBox:
            EXPECT_EQ(ClassName(window), L"Quimbel.Field");
            EXPECT_TRUE(style & ES_MULTILINE);
            EXPECT_TRUE(style & ES_WANTRETURN);
            EXPECT_FALSE(style & ES_AUTOHSCROLL) << "lines wrap at the field's width";
            EXPECT_FALSE(style & ES_READONLY);
            EXPECT_TRUE(style & WS_TABSTOP);
            EXPECT_GE(static_cast<unsigned>(SendMessageW(window, EM_GETLIMITTEXT, 0, 0)),
                      0x7FFFFFFEu);
            break;
        case ControlKind::CommandButton:
            EXPECT_EQ(ClassName(window), L"Button");
            EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << "no default button";
            EXPECT_TRUE(style & WS_TABSTOP);
            break;
        case ControlKind::Frame:
            EXPECT_EQ(ClassName(window), L"Button");
            EXPECT_EQ(style & BS_TYPEMASK, BS_GROUPBOX);
            EXPECT_FALSE(style & WS_TABSTOP);
            break;
        }
    }
}

TEST_P(WindowAtResolution, OneFixedFrameWithTitleIconsAndNoMaximising) {
    const LONG style = Style(Handle());
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    EXPECT_EQ(ui::win32::TextOfWindow(Handle()), ui::win32::WideFromUtf8(Plan().caption));
    // The program's own icon, at the sizes the title bar and the task
    // switcher ask for at this resolution.
    const std::pair<WPARAM, int> icons[] = {{ICON_SMALL, SM_CXSMICON}, {ICON_BIG, SM_CXICON}};
    for (const auto& [which, metric] : icons) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(Handle(), WM_GETICON, which, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, system_->DpiSupport().SystemMetric(metric, Dpi()));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
}

TEST_P(WindowAtResolution, ToolTipsWhereDesigned) {
    const HWND tips = window_->ToolTips();
    std::size_t designed = 0;
    for (std::size_t i = 0; i < Plan().controls.size(); ++i) {
        const ControlPlan& control = Plan().controls[i];
        SCOPED_TRACE(std::string(control.Name()));
        wchar_t text[256] = {};
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(Control(i));
        tool.lpszText = text;
        const bool found = tips && SendMessageW(tips, TTM_GETTOOLINFOW, 0,
                                                reinterpret_cast<LPARAM>(&tool)) != FALSE;
        EXPECT_EQ(found, !control.toolTip.empty());
        if (!found)
            continue;
        ++designed;
        SendMessageW(tips, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(std::wstring(text), ui::win32::WideFromUtf8(control.toolTip));
        // A frame's tooltip is the area the frame covers in the window.
        if (control.Kind() == ControlKind::Frame) {
            const RECT frame = RectIn(Control(i), Handle());
            EXPECT_TRUE(EqualRect(&tool.rect, &frame));
        }
    }
    if (tips) {
        EXPECT_EQ(static_cast<std::size_t>(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0)), designed);
    }
}

TEST_P(WindowAtResolution, EveryCaptionFitsInTheFontMade) {
    for (std::size_t i = 0; i < Plan().controls.size(); ++i) {
        const ControlPlan& control = Plan().controls[i];
        SCOPED_TRACE(std::string(control.Name()));
        const HWND window = Control(i);
        RECT client{};
        GetClientRect(window, &client);
        const Measuring font(window_->Font(static_cast<int>(i)));
        const TEXTMETRICW metrics = font.Metrics();
        switch (control.Kind()) {
        case ControlKind::Label: {
            // Drawn with room all round: no ink may land outside the label,
            // and some must land inside.
            const Rendering drawn(window, 24);
            const COLORREF background = drawn.At(0, 0);
            bool inked = false;
            for (int y = drawn.Top(); y < drawn.Bottom(); ++y)
                for (int x = drawn.Left(); x < drawn.Right(); ++x) {
                    if (drawn.InsideClient(x, y))
                        inked = inked || drawn.At(x, y) != background;
                    else
                        ASSERT_EQ(drawn.At(x, y), Rendering::Sentinel) << x << "," << y;
                }
            EXPECT_TRUE(inked);
            for (const std::string& line : control.captionLines)
                EXPECT_LE(font.Width(ui::win32::WideFromUtf8(line)), client.right) << line;
            break;
        }
        case ControlKind::TextBox:
            // Two lines of numbers inside the sunken edge.
            EXPECT_LE(2 * metrics.tmHeight, client.bottom);
            break;
        case ControlKind::CommandButton:
            // Inside the border and the focus rectangle.
            EXPECT_LE(font.Width(ui::win32::WideFromUtf8(control.caption)) + 2 * Scaled(3),
                      client.right);
            EXPECT_LE(metrics.tmHeight + 2 * Scaled(3), client.bottom);
            break;
        case ControlKind::Frame:
            // The title between the corners of the frame line.
            EXPECT_LE(font.Width(ui::win32::WideFromUtf8(control.caption)) + 2 * Scaled(6),
                      client.right);
            break;
        }
    }
}

TEST_P(WindowAtResolution, FontsAreSimplifiedChineseFacesAtTheirSizes) {
    for (std::size_t i = 0; i < Plan().controls.size(); ++i) {
        const ControlPlan& control = Plan().controls[i];
        SCOPED_TRACE(std::string(control.Name()));
        const LOGFONTW font = FontOf(Control(i));
        const Measuring measuring(window_->Font(static_cast<int>(i)));
        EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
        EXPECT_TRUE(measuring.HasGlyphs(L"英寸换算厘米，请输入！"))
            << "face " << ui::win32::Utf8FromWide(measuring.Face());
        const int pixels = -font.lfHeight;
        if (const ui::FontDesign* design = control.design->font) {
            // Its own face and weight; a pixel or two smaller where the face
            // found reaches further than the label is high.
            EXPECT_GE(font.lfWeight, FW_BOLD);
            EXPECT_LE(pixels, ui::FontPixelsAt(design->points, int(Dpi())));
            EXPECT_GE(pixels, ui::FontPixelsAt(design->points - 1, int(Dpi())));
            const auto& families = design->families;
            EXPECT_TRUE(std::any_of(families.begin(), families.end(), [&](const char* family) {
                return ui::win32::WideFromUtf8(family) == measuring.Face();
            })) << ui::win32::Utf8FromWide(measuring.Face());
        } else {
            // 9 points, or the next pixel sizes down where a caption of the
            // window would not fit in the face found.
            EXPECT_LT(font.lfWeight, FW_BOLD);
            EXPECT_LE(pixels, ui::FontPixelsAt(9, int(Dpi())));
            EXPECT_GE(pixels, ui::FontPixelsAt(8, int(Dpi())));
            EXPECT_EQ(window_->Font(static_cast<int>(i)), window_->Font(Plan().firstFocus))
                << "one font for the window";
        }
    }
}

TEST_P(WindowAtResolution, OpensWithTheFocusOnTheFirstControlAndTabsInTheDesignedOrder) {
    EXPECT_EQ(window_->FocusControl(), Plan().firstFocus);
    window_->Show();
    Pump(*system_);
    ASSERT_EQ(window_->FocusControl(), Plan().firstFocus);
    std::vector<int> expected(Plan().tabOrder.begin() + 1, Plan().tabOrder.end());
    expected.push_back(Plan().tabOrder.front());
    std::vector<int> seen;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 1, 0, {}};
        system_->DeliverMessage(tab);
        Pump(*system_);
        seen.push_back(window_->FocusControl());
    }
    EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowAtResolution,
                         ::testing::Combine(::testing::ValuesIn(Windows),
                                            ::testing::Range<std::size_t>(0, 4)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "At" +
                                    std::to_string(Resolutions[std::get<1>(info.param)]) + "Dpi";
                         });

// --- The main window's particulars -----------------------------------------

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_.Start<forms::Form1>();
        window_ = ui::Win32WindowOf(Form());
        ASSERT_NE(window_, nullptr);
        Form().Show();
        Pump(system_);
    }
    forms::Form1& Form() { return runtime_.DefaultInstance<forms::Form1>(); }
    HWND Field(std::string_view name) { return ui::Win32ControlOf(Form(), name); }

    ui::Win32WindowSystem system_;
    ui::FormsRuntime runtime_{system_};
    ui::Win32Window* window_ = nullptr;
};

TEST_F(MainWindow, TheDescriptionIsCyanWithBlackTextAndOtherLabelsShowTheirContainer) {
    const struct {
        const char* label;
        COLORREF background;
        COLORREF text;
    } cases[] = {
        {"Label3", RGB(0, 255, 255), RGB(0, 0, 0)},
        {"Label2", GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_WINDOWTEXT)},
        {"Label4", GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_WINDOWTEXT)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const Rendering drawn(ui::Win32ControlOf(Form(), c.label), 0);
        EXPECT_EQ(drawn.At(0, 0), c.background);
        EXPECT_EQ(drawn.At(drawn.Right() - 1, drawn.Bottom() - 1), c.background);
        bool text = false;
        for (int y = 0; y < drawn.Bottom(); ++y)
            for (int x = 0; x < drawn.Right(); ++x)
                text = text || drawn.At(x, y) == c.text;
        EXPECT_TRUE(text);
    }
}

// As in any Windows dialog, Tab into a field selects its text, ready to be
// typed over.
TEST_F(MainWindow, TabbingIntoAFieldSelectsItsText) {
    SetWindowTextW(Field("Text2"), L"12.5");
    SetFocus(Field("Text1"));
    MSG tab{Field("Text1"), WM_KEYDOWN, VK_TAB, 1, 0, {}};
    system_.DeliverMessage(tab);
    Pump(system_);
    ASSERT_EQ(GetFocus(), Field("Text2"));
    DWORD start = 1;
    DWORD end = 0;
    SendMessageW(Field("Text2"), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u);
}

TEST_F(MainWindow, SideFieldsLieOverTheFrameWithoutBeingInIt) {
    const HWND frame = ui::Win32ControlOf(Form(), "Frame1");
    for (const char* name : {"Text3", "Text4"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(GetParent(Field(name)), window_->Handle());
        const std::vector<HWND> stacking = Stacking(window_->Handle());
        EXPECT_LT(std::find(stacking.begin(), stacking.end(), Field(name)),
                  std::find(stacking.begin(), stacking.end(), frame));
    }
    EXPECT_EQ(GetParent(ui::Win32ControlOf(Form(), "Label4")), frame);
}

// Through the clipboard as a user pastes, then read back whole: the same
// field, in its place, stacking, tooltip and focus, wrapping the megabyte into
// rows, and one empty row once 清除 empties it.
TEST_F(MainWindow, AFieldTakesAPastedMegabyteInPlace) {
    const std::wstring pasted = L"42" + std::wstring(std::size_t{1} << 20, L'x');
    PutOnClipboard(pasted);

    Form().Text1.SetText("1");
    const HWND field = Field("Text1");
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 1, 1);
    SendMessageW(field, WM_PASTE, 0, 0);
    Pump(system_);
    const std::string text = Form().Text1.Text();
    EXPECT_EQ(text.size(), pasted.size() + 1);
    EXPECT_EQ(text.substr(0, 6), "142xxx");
    EXPECT_GT(SendMessageW(field, EM_GETLINECOUNT, 0, 0), 1000);
    EXPECT_EQ(Field("Text1"), field);
    EXPECT_EQ(GetFocus(), field);
    EXPECT_EQ(RectIn(field, window_->Handle()).left,
              ui::PixelsAt(Form().Plan().controls[Form().Plan().IndexOf("Text1")].twips.left,
                           int(window_->Dpi())));
    const std::vector<HWND> stacking = Stacking(window_->Handle());
    EXPECT_EQ(*(std::find(stacking.begin(), stacking.end(), field) - 1), Field("Text2"));
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = window_->Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(field);
    EXPECT_TRUE(
        SendMessageW(window_->ToolTips(), TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));

    SendMessageW(ui::Win32ControlOf(Form(), "Command3"), BM_CLICK, 0, 0);
    Pump(system_);
    EXPECT_EQ(Form().Text1.Text(), "");
    EXPECT_EQ(SendMessageW(field, EM_GETLINECOUNT, 0, 0), 1);
}

TEST_F(MainWindow, CtrlASelectsAllOfAField) {
    Form().Text2.SetText("12.5\n33");
    const HWND field = Field("Text2");
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 3, 3);
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE held[256];
    std::copy(std::begin(keys), std::end(keys), std::begin(held));
    held[VK_CONTROL] = held[VK_LCONTROL] = 0x80;
    SetKeyboardState(held);
    MSG press{field, WM_KEYDOWN, 'A', 1 | LPARAM(MapVirtualKeyW('A', MAPVK_VK_TO_VSC)) << 16,
              0,     {}};
    system_.DeliverMessage(press);
    Pump(system_);
    SetKeyboardState(keys);
    DWORD start = 1;
    DWORD end = 0;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, static_cast<DWORD>(GetWindowTextLengthW(field)));
    EXPECT_EQ(Form().Text2.Text(), "12.5\n33") << "Ctrl+A types nothing";
}

TEST_F(MainWindow, AnAmpersandShowsAsTypedOnLabelsButtonsAndFrames) {
    for (const char* name : {"Label1", "Command1", "Frame1"}) {
        SCOPED_TRACE(name);
        const ui::Control control(Form(), name,
                                  Form().Plan().controls[Form().Plan().IndexOf(name)].Kind());
        control.SetText("A&B");
        EXPECT_EQ(control.Text(), "A&B");
    }
    // Doubled where Windows would take "&B" for an access key.
    EXPECT_EQ(ui::win32::TextOfWindow(ui::Win32ControlOf(Form(), "Command1")), L"A&&B");
    EXPECT_EQ(ui::win32::TextOfWindow(ui::Win32ControlOf(Form(), "Label1")), L"A&B");
}

// The prompts' Chinese reaches Windows as UTF-16, whatever the code page.
TEST(Prompts, TitleAndMessageReachWindowsAsUtf16) {
    ui::Win32WindowSystem system;
    ui::FormsRuntime runtime(system);
    runtime.DefaultInstance<forms::Form2>().Show();
    runtime.DefaultInstance<forms::Form3>().Show();
    const auto& inch = runtime.DefaultInstance<forms::Form2>();
    const auto& centimetre = runtime.DefaultInstance<forms::Form3>();
    EXPECT_EQ(ui::win32::TextOfWindow(ui::Win32HandleOf(inch)), L"提示");
    EXPECT_EQ(ui::win32::TextOfWindow(ui::Win32ControlOf(inch, "Label1")),
              L"你还未输入英寸的数据，请输入！");
    EXPECT_EQ(ui::win32::TextOfWindow(ui::Win32ControlOf(centimetre, "Label1")),
              L"你还未输入厘米的数据，请输入！");
    EXPECT_EQ(ui::win32::TextOfWindow(ui::Win32ControlOf(centimetre, "Command1")), L"确定");
}

} // namespace
} // namespace quimbel::testing
