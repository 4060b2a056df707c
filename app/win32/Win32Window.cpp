#include "Win32Window.h"

#include "Win32Automation.h"
#include "Win32Clipboard.h"
#include "Win32Private.h"
#include "Win32WindowSystem.h"

#include <commctrl.h>

#include <algorithm>

namespace quimbel::ui {

using win32::ClassOf;
using win32::FirstControlId;
using win32::UniqueFont;

namespace {

COLORREF Colour(Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

} // namespace

Win32Window::Win32Window(Win32WindowSystem& system, const WindowPlan& plan, WindowEvents& events)
    : system_(system), plan_(plan), events_(events), dpi_(system.DpiSupport().SystemDpi()),
      pendingTexts_(plan.controls.size()) {}

void Win32Window::Build() {
    // Messages of the windows' making may ask for them again.
    if (window_ || building_)
        return;
    building_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{building_};
    const std::wstring title = win32::WideFromUtf8(plan_.caption);
    // Made at its place, at the system resolution first: only then does the
    // window know its monitor, and with it its own resolution. Whatever is
    // made where it belongs, in its font, is not moved or restyled again.
    const RECT frame = FirstWindowRect();
    window_.reset(CreateWindowExW(win32::FormExStyle, system_.FormClassName(), title.c_str(),
                                  win32::FormStyle, frame.left, frame.top, frame.right - frame.left,
                                  frame.bottom - frame.top, nullptr, nullptr, system_.Instance(),
                                  this));
    if (!window_)
        win32::ThrowLastError("CreateWindowExW");
    try {
        MakeClientExact();
        const UINT dpi = system_.DpiSupport().WindowDpi(Handle());
        if (dpi != dpi_) {
            dpi_ = dpi;
            PlaceAtFirstPosition();
        }
        ownFonts_.resize(plan_.controls.size());
        MakeFonts(windowFont_, ownFonts_);
        CreateControls();
        AddToolTips();
        toolTips_.SetFont(windowFont_.get());
        SetIcons();
        if (plan_.firstFocus != NoControl)
            focus_ = Control(plan_.firstFocus);
        for (std::size_t control = 0; control < pendingTexts_.size(); ++control)
            if (pendingTexts_[control])
                SetText(static_cast<int>(control), *pendingTexts_[control]);
    } catch (...) {
        // As if never made: the texts kept, a later use tries again.
        DestroyWindows();
        throw;
    }
    pendingTexts_ = {};
}

Win32Window::~Win32Window() { Release(); }

void Win32Window::Release() {
    attached_ = false;
    DestroyWindows();
}

void Win32Window::DestroyWindows() {
    // No message of the window's own destruction reaches this object.
    if (window_)
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
    toolTips_.Destroy();
    for (auto control = controls_.rbegin(); control != controls_.rend(); ++control)
        control->reset();
    window_.reset();
    controls_.clear();
    focus_ = nullptr;
}

void Win32Window::Show() {
    Build();
    const bool opening = !IsWindowVisible(Handle());
    ShowWindow(Handle(), IsIconic(Handle()) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(Handle());
    SetActiveWindow(Handle());
    if (!opening)
        return;
    // A dialog of our own says it opened, as Windows does for its own; a
    // prompt is also an alert, whose message a reader speaks at once.
    if (plan_.role != WindowRole::Window)
        NotifyWinEvent(EVENT_SYSTEM_DIALOGSTART, Handle(), OBJID_WINDOW, CHILDID_SELF);
    if (plan_.role == WindowRole::Alert)
        NotifyWinEvent(EVENT_SYSTEM_ALERT, Handle(), OBJID_CLIENT, CHILDID_SELF);
}

void Win32Window::Hide() {
    if (!window_ || !IsWindowVisible(Handle()))
        return;
    ShowWindow(Handle(), SW_HIDE);
    if (plan_.role != WindowRole::Window)
        NotifyWinEvent(EVENT_SYSTEM_DIALOGEND, Handle(), OBJID_WINDOW, CHILDID_SELF);
}

bool Win32Window::IsVisible() const { return window_ && IsWindowVisible(Handle()) != FALSE; }

std::string Win32Window::Text(int control) const {
    const ControlPlan& planned = plan_.controls.at(static_cast<std::size_t>(control));
    const win32::ControlClass& kind = ClassOf(planned.Kind());
    if (!window_) {
        // As the control will show it.
        const auto index = static_cast<std::size_t>(control);
        const bool pending = index < pendingTexts_.size() && pendingTexts_[index];
        return kind.fromWindowText(
            kind.toWindowText(pending ? *pendingTexts_[index] : planned.caption));
    }
    return kind.fromWindowText(win32::TextOfWindow(Control(control)));
}

void Win32Window::Announce(std::string_view text) {
    if (window_)
        win32::AnnounceFrom(window_.get(), system_.Accessibility(), win32::WideFromUtf8(text));
}

void Win32Window::SetText(int control, std::string_view text) {
    const ControlPlan& planned = plan_.controls.at(static_cast<std::size_t>(control));
    if (!window_) {
        pendingTexts_.resize(plan_.controls.size());
        pendingTexts_[static_cast<std::size_t>(control)] = std::string(text);
        return;
    }
    const std::wstring windowText = ClassOf(planned.Kind()).toWindowText(text);
    SetWindowTextW(Control(control), windowText.c_str());
}

HWND Win32Window::Control(int control) const {
    if (controls_.empty())
        return nullptr;
    return controls_.at(static_cast<std::size_t>(control)).get();
}

int Win32Window::IndexOf(HWND control) const {
    if (!control)
        return NoControl;
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i].get() == control)
            return static_cast<int>(i);
    return NoControl;
}

int Win32Window::FocusControl() const {
    if (!window_)
        return plan_.firstFocus;
    const HWND focus = GetFocus();
    if (focus && (focus == Handle() || IsChild(Handle(), focus)))
        return IndexOf(focus);
    return IndexOf(focus_);
}

HFONT Win32Window::Font(int control) const {
    if (ownFonts_.empty())
        return nullptr;
    const UniqueFont& own = ownFonts_.at(static_cast<std::size_t>(control));
    return own ? own.get() : windowFont_.get();
}

void Win32Window::Detach() { attached_ = false; }

bool Win32Window::IsControl(int control) const {
    return control >= 0 && static_cast<std::size_t>(control) < plan_.controls.size();
}

bool Win32Window::IsKind(int control, ControlKind kind) const {
    return IsControl(control) && plan_.controls[static_cast<std::size_t>(control)].Kind() == kind;
}

const win32::ControlClass& Win32Window::KindOf(int control) const {
    return ClassOf(plan_.controls.at(static_cast<std::size_t>(control)).Kind());
}

void Win32Window::CreateControls() {
    const std::size_t count = plan_.controls.size();
    controls_.resize(count);
    backgrounds_.resize(count);
    // A new child window goes behind its siblings: made in the plan's
    // stacking order they need no restacking, unless a frame would come
    // after a control it holds.
    std::vector<bool> made(count);
    bool inOrder = true;
    for (const int index : plan_.stacking) {
        const int container = plan_.controls[static_cast<std::size_t>(index)].container;
        inOrder = inOrder && (container == NoControl || made[static_cast<std::size_t>(container)]);
        made[static_cast<std::size_t>(index)] = true;
    }
    std::vector<int> order = plan_.stacking;
    if (!inOrder)
        for (std::size_t i = 0; i < count; ++i)
            order[i] = static_cast<int>(i);
    for (const int index : order) {
        const auto i = static_cast<std::size_t>(index);
        const ControlPlan& control = plan_.controls[i];
        const HWND parent = control.container == NoControl ? Handle() : Control(control.container);
        const win32::ControlSetup setup{
            system_.Instance(),      parent,
            FirstControlId + index,  control,
            system_.Accessibility(), PixelsAt(control.twips, static_cast<int>(dpi_))};
        controls_[i].reset(ClassOf(control.Kind()).create(setup));
        if (!controls_[i])
            win32::ThrowLastError("CreateWindowExW");
        SendMessageW(controls_[i].get(), WM_SETFONT, reinterpret_cast<WPARAM>(Font(index)), FALSE);
        if (control.design->backColor)
            backgrounds_[i].reset(CreateSolidBrush(Colour(*control.design->backColor)));
    }
    if (!inOrder)
        Stack();
}

void Win32Window::AddToolTips() {
    const auto hasToolTip = [](const ControlPlan& control) { return !control.toolTip.empty(); };
    if (std::none_of(plan_.controls.begin(), plan_.controls.end(), hasToolTip))
        return;
    toolTips_.Create(Handle(), system_.Instance());
    for (std::size_t i = 0; i < plan_.controls.size(); ++i)
        AddToolTip(static_cast<int>(i));
}

void Win32Window::AddToolTip(int control) {
    const ControlPlan& planned = plan_.controls[static_cast<std::size_t>(control)];
    // A frame lets the mouse through to the window: its tooltip is an area
    // of the window.
    toolTips_.Add(Control(control), planned.toolTip, planned.Kind() == ControlKind::Frame);
}

void Win32Window::Stack() {
    // The plan's order, front first: each control goes behind those before it.
    for (const int control : plan_.stacking)
        SetWindowPos(Control(control), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool Win32Window::HandleTabKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB)
        return false;
    const HWND focus = GetFocus();
    if (IndexOf(focus) != NoControl) {
        const LRESULT code =
            SendMessageW(focus, WM_GETDLGCODE, message.wParam, reinterpret_cast<LPARAM>(&message));
        if (code & (DLGC_WANTTAB | DLGC_WANTMESSAGE))
            return false;
    }
    MoveFocus(GetKeyState(VK_SHIFT) < 0);
    return true;
}

void Win32Window::MoveFocus(bool backwards) {
    const std::vector<int>& order = plan_.tabOrder;
    if (order.empty())
        return;
    const int count = static_cast<int>(order.size());
    const auto current = std::find(order.begin(), order.end(), IndexOf(GetFocus()));
    int position =
        current == order.end() ? (backwards ? 0 : -1) : static_cast<int>(current - order.begin());
    for (int step = 0; step < count; ++step) {
        position = (position + (backwards ? count - 1 : 1)) % count;
        const HWND next = Control(order[static_cast<std::size_t>(position)]);
        if (!IsWindowEnabled(next) || !(GetWindowLongW(next, GWL_STYLE) & WS_VISIBLE))
            continue;
        SetFocus(next);
        if (const auto hook = KindOf(order[static_cast<std::size_t>(position)]).tabbedInto)
            hook(next);
        return;
    }
}

void Win32Window::RestoreFocus() {
    HWND target = focus_ && IsWindow(focus_) ? focus_ : nullptr;
    if (!target && plan_.firstFocus != NoControl)
        target = Control(plan_.firstFocus);
    SetFocus(target ? target : Handle());
}

LRESULT Win32Window::ControlColours(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT standard = DefWindowProcW(window, message, wParam, lParam);
    const int control = IndexOf(reinterpret_cast<HWND>(lParam));
    if (control == NoControl)
        return standard;
    const ControlDesign& design = *plan_.controls[static_cast<std::size_t>(control)].design;
    const HDC dc = reinterpret_cast<HDC>(wParam);
    // Under a high-contrast theme a control with colours of its own takes
    // the theme's window colours, the pair Windows gives for text on a
    // background of its own, as a field's; the others keep the stock ones.
    if (system_.HighContrast()) {
        if (!design.foreColor && !design.backColor)
            return standard;
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    if (design.foreColor)
        SetTextColor(dc, Colour(*design.foreColor));
    const HBRUSH background = backgrounds_[static_cast<std::size_t>(control)].get();
    if (!design.backColor || !background)
        return standard;
    SetBkColor(dc, Colour(*design.backColor));
    return reinterpret_cast<LRESULT>(background);
}

void Win32Window::ColoursChanged(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Common controls learn of it only from their window.
    if (message == WM_SYSCOLORCHANGE)
        for (const win32::UniqueWindow& control : controls_)
            if (control)
                SendMessageW(control.get(), message, wParam, lParam);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

LRESULT Win32Window::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        // The layer unloads the form, and with it this window, if it decides to.
        if (attached_)
            events_.CloseRequested();
        return 0;
    case WM_COMMAND: {
        // Found by identifier: Enter on a button sends its identifier alone.
        const int control = static_cast<int>(LOWORD(wParam)) - FirstControlId;
        if (HIWORD(wParam) == BN_CLICKED && IsButton(control) && attached_)
            events_.Clicked(control);
        return 0;
    }
    case DM_GETDEFID: {
        // No default button: Enter presses the button that has the focus.
        const int control = IndexOf(GetFocus());
        return IsButton(control) ? MAKELRESULT(FirstControlId + control, DC_HASDEFID) : 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (IndexOf(GetFocus()) != NoControl)
                focus_ = GetFocus();
        } else if (HIWORD(wParam) == 0) {
            RestoreFocus();
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        return ControlColours(window, message, wParam, lParam);
    case WM_SYSCOLORCHANGE:
        ColoursChanged(window, message, wParam, lParam);
        return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETHIGHCONTRAST)
            ColoursChanged(window, message, wParam, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_GETOBJECT:
        if (const auto answer = win32::AnswerGetObject(system_.Accessibility(), window, wParam,
                                                       lParam, win32::AccessibleTextOf(plan_)))
            return *answer;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_GETDPISCALEDSIZE: {
        // The exact client size at the new resolution, so that the
        // rectangle Windows suggests fits it.
        const SIZE client = ClientSizeAt(static_cast<UINT>(wParam));
        const RECT frame =
            system_.DpiSupport().WindowRectForClient({0, 0, client.cx, client.cy}, win32::FormStyle,
                                                     win32::FormExStyle, static_cast<UINT>(wParam));
        *reinterpret_cast<SIZE*>(lParam) = {frame.right - frame.left, frame.bottom - frame.top};
        return TRUE;
    }
    case WM_DPICHANGED:
        LayOut(HIWORD(wParam));
        SetWindowRect(*reinterpret_cast<const RECT*>(lParam));
        MakeClientExact();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace quimbel::ui
