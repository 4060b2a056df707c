// The window system's own promises on Windows: a close request leaves the
// window to the layer, a window may let itself go from its own click, the
// event loop ends with Quit's status, and window systems side by side keep
// apart.

#include "Win32WindowSystem.h"
#include "Form1.h"
#include "Form2.h"
#include "Form4.h"
#include "Forms.h"
#include "Win32Access.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

namespace quimbel::testing {
namespace {

struct Recorder final : ui::WindowEvents {
    std::vector<int> clicks;
    int closeRequests = 0;
    std::function<void()> onClick;

    void Clicked(int control) override {
        clicks.push_back(control);
        if (onClick)
            onClick();
    }
    void CloseRequested() override { ++closeRequests; }
};

class WindowSystem : public ::testing::Test {
protected:
    std::unique_ptr<ui::NativeWindow> Create() { return system_.MakeWindow(plan_, events_); }
    // The windows made, as Show would, to look at them before.
    static ui::Win32Window& Built(const std::unique_ptr<ui::NativeWindow>& window) {
        auto& native = dynamic_cast<ui::Win32Window&>(*window);
        native.Build();
        return native;
    }
    static HWND HandleOf(const std::unique_ptr<ui::NativeWindow>& window) {
        return Built(window).Handle();
    }
    HWND Ok(const std::unique_ptr<ui::NativeWindow>& window) const {
        return Built(window).Control(plan_.IndexOf("Command1"));
    }

    ui::Win32WindowSystem system_;
    const ui::WindowPlan plan_ = ui::PlanWindow(forms::Form2::Layout);
    Recorder events_;
};

TEST_F(WindowSystem, AWindowOpensHiddenAndCloseOnlyAsksTheLayer) {
    auto window = Create();
    const HWND handle = HandleOf(window);
    EXPECT_FALSE(window->IsVisible());
    window->Show();
    EXPECT_TRUE(window->IsVisible());
    SendMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(system_);
    EXPECT_EQ(events_.closeRequests, 1);
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_TRUE(window->IsVisible());
}

// A window loaded hidden costs no windows until it is shown: the main
// window behind the welcome dialog at start-up. What the layer sets in the
// meantime is what it reads back, and what the windows show once made.
TEST_F(WindowSystem, AWindowIsMadeWhenFirstShownWithTheTextsSetBefore) {
    auto window = Create();
    auto& native = dynamic_cast<ui::Win32Window&>(*window);
    const int message = plan_.IndexOf("Label1");
    const int ok = plan_.IndexOf("Command1");
    const std::string designed = window->Text(message);
    EXPECT_FALSE(designed.empty());
    window->SetText(ok, "好 & 的\n");
    window->Hide();
    EXPECT_FALSE(window->IsVisible());
    EXPECT_FALSE(native.IsBuilt()) << "setting texts and hiding make no windows";
    // Asking only reads: nothing is made behind the layer's back.
    EXPECT_EQ(native.Handle(), nullptr);
    EXPECT_EQ(native.Control(ok), nullptr);
    EXPECT_EQ(native.Font(ok), nullptr);
    EXPECT_EQ(native.ToolTips(), nullptr);
    EXPECT_FALSE(native.IsBuilt()) << "the getters made the windows";
    EXPECT_EQ(window->Text(ok), "好 & 的\n");
    EXPECT_EQ(window->Text(message), designed);

    window->Show();
    ASSERT_TRUE(native.IsBuilt());
    EXPECT_TRUE(window->IsVisible());
    EXPECT_EQ(window->Text(ok), "好 & 的\n");
    EXPECT_EQ(ui::win32::TextOfWindow(native.Control(ok)), L"好 && 的\r\n");
    EXPECT_EQ(window->Text(message), designed);
}

// Fails the making of the n-th window from now on this thread.
class FailedCreation {
public:
    explicit FailedCreation(int nth) {
        countdown_ = nth;
        hook_ = SetWindowsHookExW(WH_CBT, &FailedCreation::Hook, nullptr, GetCurrentThreadId());
    }
    ~FailedCreation() { UnhookWindowsHookEx(hook_); }
    FailedCreation(const FailedCreation&) = delete;
    FailedCreation& operator=(const FailedCreation&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND && --countdown_ == 0)
            return 1;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline int countdown_ = 0;
    HHOOK hook_;
};

// A window whose making fails, at its frame or halfway through its controls,
// is as if never made: its texts are kept, and the next Show makes it whole
// and still tells the layer of clicks.
TEST_F(WindowSystem, AWindowThatCouldNotBeMadeIsMadeWholeOnTheNextShow) {
    for (const int failing : {1, 3}) {
        SCOPED_TRACE(failing);
        auto window = Create();
        auto& native = dynamic_cast<ui::Win32Window&>(*window);
        const int ok = plan_.IndexOf("Command1");
        window->SetText(ok, "再来");
        {
            const FailedCreation failure(failing);
            EXPECT_THROW(window->Show(), std::system_error);
        }
        EXPECT_FALSE(native.IsBuilt());
        EXPECT_FALSE(window->IsVisible());
        EXPECT_EQ(window->Text(ok), "再来");

        window->Show();
        EXPECT_TRUE(window->IsVisible());
        EXPECT_EQ(window->Text(ok), "再来");
        for (std::size_t control = 0; control < plan_.controls.size(); ++control)
            EXPECT_TRUE(IsWindow(native.Control(static_cast<int>(control)))) << control;
        events_.clicks.clear();
        SendMessageW(Ok(window), BM_CLICK, 0, 0);
        Pump(system_);
        EXPECT_EQ(events_.clicks, std::vector<int>{ok});
    }
}

// Both the screen's resolution and the client size come from Windows here,
// not from the back end's own arithmetic.
TEST_F(WindowSystem, AWindowOpensAtTheScreensResolutionWithTheDesignsClientSize) {
    auto window = Create();
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(dynamic_cast<ui::Win32Window&>(*window).Dpi(), static_cast<UINT>(dpi));
    RECT client{};
    GetClientRect(HandleOf(window), &client);
    // 3735 x 1845 twips, 15 to the pixel at 96 dots an inch.
    EXPECT_EQ(client.right, MulDiv(249, dpi, 96));
    EXPECT_EQ(client.bottom, MulDiv(123, dpi, 96));
}

TEST_F(WindowSystem, AWindowLetGoFromItsOwnClickGoesOnceTheClickIsOver) {
    auto window = Create();
    window->Show();
    const HWND handle = HandleOf(window);
    bool aliveAfterLettingGo = false;
    events_.onClick = [&] {
        system_.DestroyLater(std::move(window));
        aliveAfterLettingGo = IsWindow(handle) != FALSE;
    };
    SendMessageW(Ok(window), BM_CLICK, 0, 0);
    EXPECT_EQ(events_.clicks, std::vector<int>{plan_.IndexOf("Command1")});
    EXPECT_TRUE(aliveAfterLettingGo);
    EXPECT_TRUE(IsWindow(handle)) << "the click is still being handled";
    EXPECT_FALSE(IsWindowVisible(handle));
    Pump(system_);
    EXPECT_FALSE(IsWindow(handle));
}

TEST_F(WindowSystem, AWindowLetGoReportsNothingMore) {
    auto window = Create();
    const HWND handle = HandleOf(window);
    const HWND ok = Ok(window);
    system_.DestroyLater(std::move(window));
    SendMessageW(ok, BM_CLICK, 0, 0);
    SendMessageW(handle, WM_CLOSE, 0, 0);
    EXPECT_TRUE(events_.clicks.empty());
    EXPECT_EQ(events_.closeRequests, 0);
    system_.DestroyPending();
    EXPECT_FALSE(IsWindow(handle));
}

TEST_F(WindowSystem, QuitBeforeRunReturnsAtOnceAndLeavesNoQuitMessage) {
    system_.Quit(3);
    EXPECT_EQ(system_.Run(), 3);
    MSG message{};
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(WindowSystem, QuitFromAClickEndsTheLoopWithItsStatus) {
    auto window = Create();
    window->Show();
    events_.onClick = [&] { system_.Quit(7); };
    PostMessageW(Ok(window), BM_CLICK, 0, 0);
    EXPECT_EQ(system_.Run(), 7);
}

// The dialog keys send OK and Cancel for Enter and Esc where no button has
// the focus; no control may answer to those.
TEST_F(WindowSystem, OkAndCancelFromTheDialogKeysPressNothing) {
    auto window = Create();
    window->Show();
    for (const WPARAM command : {WPARAM{IDOK}, WPARAM{IDCANCEL}})
        SendMessageW(HandleOf(window), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    EXPECT_TRUE(events_.clicks.empty());
    EXPECT_EQ(events_.closeRequests, 0);
    EXPECT_TRUE(window->IsVisible());
}

// A button's caption of two lines shows on two lines; one of one line stays a
// plain push button.
TEST(Buttons, ACaptionOfSeveralLinesKeepsItsLineBreaks) {
    using enum ui::ControlKind;
    static constexpr ui::ControlDesign controls[] = {
        {"One", CommandButton, ui::OnWindow, 120, 120, 1455, 615, "换算", "", 0},
        {"Two", CommandButton, ui::OnWindow, 120, 840, 1455, 615, "英寸\r\n换算", "", 1}};
    const ui::WindowDesign design{"buttons", 1800, 1560, 0, 0, controls};
    const ui::WindowPlan plan = ui::PlanWindow(design);
    ui::Win32WindowSystem system;
    Recorder events;
    auto window = system.MakeWindow(plan, events);
    window->Show();
    const struct {
        const char* name;
        const char* text;
        bool multiline;
    } cases[] = {{"One", "换算", false}, {"Two", "英寸\n换算", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HWND button = dynamic_cast<ui::Win32Window&>(*window).Control(plan.IndexOf(c.name));
        EXPECT_EQ((GetWindowLongW(button, GWL_STYLE) & BS_MULTILINE) != 0, c.multiline);
        EXPECT_EQ(window->Text(plan.IndexOf(c.name)), c.text);
    }
}

// An icon drawn over white, as RGB per pixel, row by row.
std::vector<double> IconPixels(HICON icon, int size) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(dc, bitmap);
    const RECT all{0, 0, size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::vector<double> pixels;
    const auto* words = static_cast<const DWORD*>(bits);
    for (int i = 0; i < size * size; ++i)
        for (const int shift : {16, 8, 0})
            pixels.push_back(static_cast<double>((words[i] >> shift) & 0xFF));
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

// An image of `from` pixels a side resampled to `to`: each new pixel the
// average of the old area it covers, so larger to smaller averages and
// smaller to larger repeats.
std::vector<double> Resampled(const std::vector<double>& image, int from, int to) {
    std::vector<double> out;
    const double scale = double(from) / to;
    for (int y = 0; y < to; ++y)
        for (int x = 0; x < to; ++x)
            for (int channel = 0; channel < 3; ++channel) {
                double sum = 0;
                double weight = 0;
                for (int v = 0; v < from; ++v)
                    for (int u = 0; u < from; ++u) {
                        const double w = std::max(0.0, std::min(u + 1.0, (x + 1) * scale) -
                                                           std::max(double(u), x * scale)) *
                                         std::max(0.0, std::min(v + 1.0, (y + 1) * scale) -
                                                           std::max(double(v), y * scale));
                        sum += w * image[static_cast<std::size_t>((v * from + u) * 3 + channel)];
                        weight += w;
                    }
                out.push_back(sum / weight);
            }
    return out;
}

double MeanDifference(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::abs(a[i] - b[i]);
    return sum / static_cast<double>(a.size());
}

// At 125, 150 and 200 % the title bar and the task bar ask for sizes the icon
// file lacks: the icon shown is the next larger image scaled down, which
// stays sharp, not the next smaller scaled up.
TEST(ProgramIcon, AtASizeTheFileLacksIsTheLargerImageScaledDown) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto exact = [&](int size) {
        const ui::win32::UniqueIcon icon(static_cast<HICON>(LoadImageW(
            instance, MAKEINTRESOURCEW(ui::win32::IconResource), IMAGE_ICON, size, size, 0)));
        return IconPixels(icon.get(), size);
    };
    const struct {
        int size;
        int smaller;
        int larger;
    } cases[] = {{20, 16, 32}, {24, 16, 32}, {40, 32, 48}, {64, 48, 128}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const ui::win32::UniqueIcon icon = ui::win32::LoadProgramIcon(instance, c.size, c.size);
        ASSERT_TRUE(icon);
        const std::vector<double> shown = IconPixels(icon.get(), c.size);
        const double fromLarger =
            MeanDifference(shown, Resampled(exact(c.larger), c.larger, c.size));
        const double fromSmaller =
            MeanDifference(shown, Resampled(exact(c.smaller), c.smaller, c.size));
        EXPECT_LT(fromLarger, fromSmaller);
    }
}

TEST(WindowSystems, TwoLiveSideBySideAndEachKnowsOnlyItsOwnWindows) {
    ui::Win32WindowSystem first;
    ui::Win32WindowSystem second;
    const ui::WindowPlan plan = ui::PlanWindow(forms::Form4::Layout);
    Recorder events;
    auto a = first.MakeWindow(plan, events);
    auto b = second.MakeWindow(plan, events);
    a->Show();
    b->Show();
    const HWND handleA = dynamic_cast<ui::Win32Window&>(*a).Handle();
    const HWND handleB = dynamic_cast<ui::Win32Window&>(*b).Handle();
    EXPECT_EQ(first.FormOf(handleA), a.get());
    EXPECT_EQ(first.FormOf(handleB), nullptr);
    EXPECT_EQ(second.FormOf(handleB), b.get());
}

// Windows 7 has none of the per-monitor functions. Looked up as missing, each
// falls back to the one resolution of the whole system, and the program
// still opens its window at the design size and converts.
TEST(OlderWindows, WithoutThePerMonitorFunctionsTheProgramOpensAtTheScreensResolution) {
    const ui::win32::FunctionLookUp windows7 = [](const char*) -> ui::win32::AnyFunction {
        return nullptr;
    };
    ui::Win32WindowSystem system(GetModuleHandleW(nullptr), windows7);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const ui::win32::DpiFunctions& functions = system.DpiSupport();
    EXPECT_EQ(functions.SystemDpi(), static_cast<UINT>(dpi));
    EXPECT_EQ(functions.WindowDpi(GetDesktopWindow()), static_cast<UINT>(dpi));
    EXPECT_EQ(functions.SystemMetric(SM_CXICON, 2 * static_cast<UINT>(dpi)),
              GetSystemMetrics(SM_CXICON));
    const RECT client{0, 0, 249, 123};
    RECT expected = client;
    AdjustWindowRectEx(&expected, WS_OVERLAPPEDWINDOW, FALSE, 0);
    const RECT framed =
        functions.WindowRectForClient(client, WS_OVERLAPPEDWINDOW, 0, 2 * static_cast<UINT>(dpi));
    EXPECT_TRUE(EqualRect(&framed, &expected));

    ui::FormsRuntime runtime(system);
    runtime.Start<forms::Form1>();
    auto& main = runtime.DefaultInstance<forms::Form1>();
    main.Show();
    Pump(system);
    RECT area{};
    GetClientRect(ui::Win32WindowOf(main)->Handle(), &area);
    EXPECT_EQ(area.right, ui::PixelsAt(forms::Form1::Layout.clientWidth, dpi));
    EXPECT_EQ(area.bottom, ui::PixelsAt(forms::Form1::Layout.clientHeight, dpi));
    main.Text1.SetText("17");
    SendMessageW(ui::Win32ControlOf(main, "Command1"), BM_CLICK, 0, 0);
    Pump(system);
    EXPECT_EQ(main.Text2.Text(), "41.99");
    EXPECT_EQ(main.Text3.Text(), "36.975");
    EXPECT_EQ(main.Text4.Text(), "22.44");
}

// "&" in a caption is a character, as on every back end: set at run time it
// reads back as set, and Alt with the letter after it presses nothing and
// moves the focus nowhere.
TEST(Captions, TakeNoAccessKeys) {
    using enum ui::ControlKind;
    static constexpr ui::ControlDesign controls[] = {
        {"Text1", TextBox, ui::OnWindow, 120, 120, 1455, 375, "", "", 0},
        {"Command1", CommandButton, ui::OnWindow, 120, 600, 1455, 375, "换算", "", 1},
        {"Label1", Label, ui::OnWindow, 120, 1080, 1455, 255, "英寸", "", 2},
        {"Frame1", Frame, ui::OnWindow, 1700, 120, 1455, 1200, "结果", "", 3},
        {"Command2", CommandButton, "Frame1", 120, 360, 1200, 375, "清除", "", 4}};
    const ui::WindowDesign design{"captions", 3300, 1560, 0, 0, controls};
    const ui::WindowPlan plan = ui::PlanWindow(design);
    ui::Win32WindowSystem system;
    Recorder events;
    auto window = system.MakeWindow(plan, events);
    window->Show();
    auto& native = dynamic_cast<ui::Win32Window&>(*window);
    const HWND field = native.Control(plan.IndexOf("Text1"));
    for (const char* name : {"Command1", "Label1", "Frame1"}) {
        SCOPED_TRACE(name);
        const int control = plan.IndexOf(name);
        window->SetText(control, "A&B");
        EXPECT_EQ(window->Text(control), "A&B");
        events.clicks.clear();
        SetFocus(field);
        // Alt+B as the keyboard sends it, through the program's own loop.
        MSG alt{field, WM_SYSCHAR, 'b', LPARAM{1} << 29, 0, {}};
        system.DeliverMessage(alt);
        Pump(system);
        EXPECT_TRUE(events.clicks.empty());
        EXPECT_EQ(GetFocus(), field);
    }
}

} // namespace
} // namespace quimbel::testing
