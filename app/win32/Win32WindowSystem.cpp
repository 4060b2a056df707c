#include "Win32WindowSystem.h"

#include "Win32Clipboard.h"
#include "Win32Private.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <system_error>

namespace quimbel::ui {

using win32::ClassOf;
using win32::FirstControlId;
using win32::UniqueFont;
using win32::UniqueIcon;

namespace win32 {

const ControlClass& ClassOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return LabelClass;
    case ControlKind::TextBox:
        return TextBoxClass;
    case ControlKind::CommandButton:
        return ButtonClass;
    case ControlKind::Frame:
        break;
    }
    return FrameClass;
}

HWND CreateChild(const ControlSetup& setup, const wchar_t* className, DWORD style, DWORD exStyle,
                 const std::wstring& text) {
    const HWND control = CreateWindowExW(
        exStyle, className, text.c_str(), style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0,
        0, setup.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(setup.id)), setup.instance,
        nullptr);
    if (control)
        MakeAccessible(control, setup.plan);
    return control;
}

} // namespace win32

namespace {

// One frame for every window, as on Linux: fixed size, no maximise button.
constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD FormExStyle = 0;
constexpr UINT DestroyPendingMessage = WM_APP + 1;

[[noreturn]] void ThrowLastError(const char* what) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

// Class names of this window system alone: another one in the same process
// (tests make many) registers its own.
win32::WindowClass RegisterWindowClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* role,
                                       const void* owner, HBRUSH background) {
    const std::wstring name = std::wstring(L"Quimbel.") + role + L"." +
                              std::to_wstring(reinterpret_cast<std::uintptr_t>(owner));
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = procedure;
    description.hInstance = instance;
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.hbrBackground = background;
    description.lpszClassName = name.c_str();
    return win32::WindowClass(description);
}

COLORREF Colour(Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

void ReportFailure(const char* what) { std::fprintf(stderr, "quimbel: %s\n", what); }

// The object a window of ours belongs to: given to CreateWindowExW, kept in
// the window from its first message on.
template <class Owner> Owner* OwnerOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(
                              reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams));
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

} // namespace

// --- Win32Window ----------------------------------------------------------

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
    window_.reset(CreateWindowExW(FormExStyle, system_.FormClassName(), title.c_str(), FormStyle,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, system_.Instance(), this));
    if (!window_)
        ThrowLastError("CreateWindowExW");
    try {
        CreateControls();
        AddToolTips();
        Stack();
        // Placed at the system resolution first: only then does the window
        // know its monitor, and with it its own resolution.
        PlaceAtFirstPosition();
        const UINT dpi = system_.DpiSupport().WindowDpi(Handle());
        const bool moved = dpi != dpi_;
        LayOut(dpi);
        if (moved)
            PlaceAtFirstPosition();
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

void Win32Window::Built() const {
    // Making the windows changes nothing the layer can see: it is what
    // every use but Text and SetText would have needed from the start.
    if (!window_ && !building_)
        const_cast<Win32Window*>(this)->Build();
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
    toolTips_.reset();
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

void Win32Window::SetText(int control, std::string_view text) {
    const ControlPlan& planned = plan_.controls.at(static_cast<std::size_t>(control));
    if (!window_) {
        pendingTexts_.resize(plan_.controls.size());
        pendingTexts_[static_cast<std::size_t>(control)] = std::string(text);
        return;
    }
    const std::wstring windowText = ClassOf(planned.Kind()).toWindowText(text);
    if (planned.Kind() == ControlKind::TextBox) {
        const HWND field = Control(control);
        const bool wrap = win32::ShouldWrap(field, windowText.size());
        if (wrap != win32::Wraps(field))
            ReplaceField(control, wrap, windowText, {}, false);
        else
            win32::SetFieldText(field, windowText);
        return;
    }
    SetWindowTextW(Control(control), windowText.c_str());
}

void Win32Window::ReplaceField(int control, bool wrap) {
    const HWND old = Control(control);
    // A field answers without its soft breaks, in the user's positions.
    const std::wstring text = win32::TextOfWindow(old);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(old, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    // The user's own edits can still be undone in the field made anew.
    ReplaceField(control, wrap, text, {start, end}, true);
}

void Win32Window::ReplaceField(int control, bool wrap, std::wstring_view text,
                               win32::TextRange selection, bool keepHistory) {
    const HWND old = Control(control);
    const HWND parent = GetParent(old);
    win32::UniqueWindow field(
        win32::CreateField({system_.Instance(), parent, FirstControlId + control,
                            plan_.controls[static_cast<std::size_t>(control)]},
                           wrap));
    // Without a new window the old one stays, slow but whole.
    if (!field) {
        win32::SetFieldText(old, text, selection, keepHistory);
        return;
    }
    // In the old one's place, size and stacking.
    RECT rect{};
    GetWindowRect(old, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    SetWindowPos(field.get(), old, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOACTIVATE);
    SendMessageW(field.get(), WM_SETFONT, reinterpret_cast<WPARAM>(Font(control)), FALSE);
    win32::SetFieldText(field.get(), text, selection);
    if (keepHistory)
        win32::MoveFieldHistory(old, field.get());
    const bool focused = GetFocus() == old;
    if (focus_ == old)
        focus_ = field.get();
    if (toolTips_) {
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(old);
        SendMessageW(toolTips_.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    controls_[static_cast<std::size_t>(control)].swap(field);
    AddToolTip(control);
    if (focused)
        SetFocus(Control(control));
}

HWND Win32Window::Control(int control) const {
    Built();
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
    Built();
    const UniqueFont& own = ownFonts_.at(static_cast<std::size_t>(control));
    return own ? own.get() : windowFont_.get();
}

void Win32Window::Detach() { attached_ = false; }

bool Win32Window::IsKind(int control, ControlKind kind) const {
    return control >= 0 && static_cast<std::size_t>(control) < plan_.controls.size() &&
           plan_.controls[static_cast<std::size_t>(control)].Kind() == kind;
}

void Win32Window::CreateControls() {
    const std::size_t count = plan_.controls.size();
    controls_.reserve(count);
    ownFonts_.resize(count);
    backgrounds_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const ControlPlan& control = plan_.controls[i];
        const HWND parent = control.container == NoControl ? Handle() : Control(control.container);
        const win32::ControlSetup setup{system_.Instance(), parent,
                                        FirstControlId + static_cast<int>(i), control};
        controls_.emplace_back(ClassOf(control.Kind()).create(setup));
        if (!controls_.back())
            ThrowLastError("CreateWindowExW");
        if (control.design->backColor)
            backgrounds_[i].reset(CreateSolidBrush(Colour(*control.design->backColor)));
    }
}

void Win32Window::AddToolTips() {
    const auto hasToolTip = [](const ControlPlan& control) { return !control.toolTip.empty(); };
    if (std::none_of(plan_.controls.begin(), plan_.controls.end(), hasToolTip))
        return;
    toolTips_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                    WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                    system_.Instance(), nullptr));
    // Tooltips help, but the window works without them.
    if (!toolTips_)
        return;
    for (std::size_t i = 0; i < plan_.controls.size(); ++i)
        AddToolTip(static_cast<int>(i));
}

void Win32Window::AddToolTip(int control) {
    const ControlPlan& planned = plan_.controls[static_cast<std::size_t>(control)];
    if (!toolTips_ || planned.toolTip.empty())
        return;
    std::wstring text = win32::WideFromUtf8(planned.toolTip);
    // The size common controls 5.8 knows too, for a program without
    // version 6.
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Control(control));
    tool.lpszText = text.data();
    // A frame lets the mouse through to the window: its tooltip is an area
    // of the window, set where the layout places the frame.
    tool.uFlags = planned.Kind() == ControlKind::Frame ? TTF_SUBCLASS : TTF_IDISHWND | TTF_SUBCLASS;
    SendMessageW(toolTips_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Window::Stack() {
    // Windowed controls in the plan's order, the first in front; labels
    // behind them all.
    const auto toBottom = [](HWND control) {
        SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    };
    for (const int control : plan_.frontToBack)
        toBottom(Control(control));
    for (std::size_t i = 0; i < plan_.controls.size(); ++i)
        if (plan_.controls[i].Kind() == ControlKind::Label)
            toBottom(Control(static_cast<int>(i)));
}

void Win32Window::LayOut(UINT dpi) {
    dpi_ = dpi;
    UniqueFont windowFont;
    std::vector<UniqueFont> ownFonts(plan_.controls.size());
    MakeFonts(windowFont, ownFonts);

    for (std::size_t i = 0; i < plan_.controls.size(); ++i) {
        const Rect rect = PixelsAt(plan_.controls[i].twips, static_cast<int>(dpi));
        const HWND control = Control(static_cast<int>(i));
        SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        const HFONT font = ownFonts[i] ? ownFonts[i].get() : windowFont.get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (toolTips_) {
        SendMessageW(toolTips_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(windowFont.get()),
                     FALSE);
        for (std::size_t i = 0; i < plan_.controls.size(); ++i) {
            if (plan_.controls[i].Kind() != ControlKind::Frame || plan_.controls[i].toolTip.empty())
                continue;
            const HWND frame = Control(static_cast<int>(i));
            TTTOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.hwnd = Handle();
            tool.uId = reinterpret_cast<UINT_PTR>(frame);
            GetClientRect(frame, &tool.rect);
            MapWindowPoints(frame, Handle(), reinterpret_cast<POINT*>(&tool.rect), 2);
            SendMessageW(toolTips_.get(), TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    // The fonts of the previous resolution go once nothing uses them.
    windowFont_.swap(windowFont);
    ownFonts_.swap(ownFonts);
    SetIcons();
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Window::MakeFonts(UniqueFont& windowFont, std::vector<UniqueFont>& ownFonts) {
    const int dpi = static_cast<int>(dpi_);
    const int minimum = MulDiv(6, dpi, USER_DEFAULT_SCREEN_DPI);
    const win32::FontFamilies& families = system_.Families();
    const auto fits = [&](HDC dc, std::size_t i) {
        const ControlPlan& control = plan_.controls[i];
        const Rect rect = PixelsAt(control.twips, dpi);
        return ClassOf(control.Kind()).fits(dc, control, SIZE{rect.width, rect.height}, dpi_);
    };
    // One font for the window's controls: the design's size, or smaller
    // where a caption would not fit in the face found.
    windowFont =
        win32::FittedFont(win32::FirstInstalled(DefaultFontFamilies(), families),
                          FontPixelsAt(win32::WindowFontPoints, dpi), false, minimum, [&](HDC dc) {
                              for (std::size_t i = 0; i < plan_.controls.size(); ++i)
                                  if (!plan_.controls[i].design->font && !fits(dc, i))
                                      return false;
                              return true;
                          });
    // A face of its own may stand in for one whose glyphs reach less far.
    for (std::size_t i = 0; i < plan_.controls.size(); ++i)
        if (const FontDesign* design = plan_.controls[i].design->font)
            ownFonts[i] = win32::FittedFont(win32::FirstInstalled(design->families, families),
                                            FontPixelsAt(design->points, dpi), design->bold,
                                            minimum, [&](HDC dc) { return fits(dc, i); });
}

void Win32Window::SetIcons() {
    const win32::DpiFunctions& dpi = system_.DpiSupport();
    UniqueIcon small =
        win32::LoadProgramIcon(system_.Instance(), dpi.SystemMetric(SM_CXSMICON, dpi_),
                               dpi.SystemMetric(SM_CYSMICON, dpi_));
    UniqueIcon big = win32::LoadProgramIcon(system_.Instance(), dpi.SystemMetric(SM_CXICON, dpi_),
                                            dpi.SystemMetric(SM_CYICON, dpi_));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    smallIcon_.swap(small);
    bigIcon_.swap(big);
}

SIZE Win32Window::ClientSizeAt(UINT dpi) const {
    return {PixelsAt(plan_.clientTwips.width, static_cast<int>(dpi)),
            PixelsAt(plan_.clientTwips.height, static_cast<int>(dpi))};
}

void Win32Window::PlaceAtFirstPosition() {
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const int dpi = static_cast<int>(dpi_);
    const SIZE size = ClientSizeAt(dpi_);
    const Rect placed =
        FirstPosition({PixelsAt(plan_.clientTwips.left, dpi), PixelsAt(plan_.clientTwips.top, dpi),
                       size.cx, size.cy},
                      {work.left, work.top, work.right - work.left, work.bottom - work.top});
    SetWindowRect(system_.DpiSupport().WindowRectForClient(
        {placed.left, placed.top, placed.left + placed.width, placed.top + placed.height},
        FormStyle, FormExStyle, dpi_));
    MakeClientExact();
}

void Win32Window::SetWindowRect(const RECT& rect) {
    SetWindowPos(Handle(), nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::MakeClientExact() {
    RECT client{};
    RECT frame{};
    if (IsIconic(Handle()) || !GetClientRect(Handle(), &client) || !GetWindowRect(Handle(), &frame))
        return;
    const SIZE wanted = ClientSizeAt(dpi_);
    const int wider = wanted.cx - client.right;
    const int taller = wanted.cy - client.bottom;
    if (wider != 0 || taller != 0)
        SetWindowPos(Handle(), nullptr, 0, 0, frame.right - frame.left + wider,
                     frame.bottom - frame.top + taller, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
        // Tabbing into a field selects its text, as in any Windows dialog.
        if (plan_.controls[static_cast<std::size_t>(order[static_cast<std::size_t>(position)])]
                .Kind() == ControlKind::TextBox)
            SendMessageW(next, EM_SETSEL, 0, -1);
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
        // A field is made anew once its own message is over.
        if (HIWORD(wParam) == EN_CHANGE && IsField(control)) {
            const HWND field = Control(control);
            const auto length = static_cast<std::size_t>(GetWindowTextLengthW(field));
            if (win32::ShouldWrap(field, length) != win32::Wraps(field))
                PostMessageW(window, win32::FieldLengthMessage, LOWORD(wParam),
                             win32::FieldRemake::Check);
        }
        return 0;
    }
    case win32::FieldLengthMessage: {
        const int control = static_cast<int>(wParam) - FirstControlId;
        if (!IsField(control))
            return 0;
        const HWND field = Control(control);
        const bool check = lParam == win32::FieldRemake::Check;
        const bool wrap =
            check &&
            win32::ShouldWrap(field, static_cast<std::size_t>(GetWindowTextLengthW(field)));
        if (wrap != win32::Wraps(field))
            ReplaceField(control, wrap);
        // Done even where no unwrapped field could be made: slow, but never
        // asked for again and again.
        if (lParam == win32::FieldRemake::ThenPaste)
            win32::PasteClipboard(Control(control), true);
        else if (lParam == win32::FieldRemake::ThenUndo || lParam == win32::FieldRemake::ThenRedo)
            win32::StepField(Control(control),
                             lParam == win32::FieldRemake::ThenUndo ? win32::FieldStep::Undo
                                                                    : win32::FieldStep::Redo,
                             true);
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
        if (const auto answer =
                win32::AnswerGetObject(window, wParam, lParam, win32::AccessibleTextOf(plan_)))
            return *answer;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_GETDPISCALEDSIZE: {
        // The exact client size at the new resolution, so that the
        // rectangle Windows suggests fits it.
        const SIZE client = ClientSizeAt(static_cast<UINT>(wParam));
        const RECT frame = system_.DpiSupport().WindowRectForClient(
            {0, 0, client.cx, client.cy}, FormStyle, FormExStyle, static_cast<UINT>(wParam));
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

// --- Win32WindowSystem -----------------------------------------------------

Win32WindowSystem::Win32WindowSystem(HINSTANCE instance, win32::FunctionLookUp lookUp,
                                     win32::ClipboardCopies clipboardCopies,
                                     win32::ContrastLookUp highContrast)
    : instance_(instance), highContrast_(highContrast), dpi_(lookUp), awareness_(dpi_),
      formClass_(RegisterWindowClass(instance, FormProcedure, L"Form", this,
                                     GetSysColorBrush(COLOR_BTNFACE))),
      messageClass_(RegisterWindowClass(instance, MessageProcedure, L"Messages", this, nullptr)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    messageWindow_.reset(CreateWindowExW(0, messageClass_.Name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, instance_, this));
    if (!messageWindow_)
        ThrowLastError("CreateWindowExW");
    // Under Wine the program would keep whatever it last copied or pasted,
    // maybe megabytes, until it next opens the clipboard: once another
    // program has copied, it lets go. Windows holds those copies itself, and
    // a program opening the clipboard at every change gets in others' way.
    if (clipboardCopies == win32::ClipboardCopies::KeptInProcess)
        AddClipboardFormatListener(messageWindow_.get());
}

Win32WindowSystem::~Win32WindowSystem() { DestroyPending(); }

std::unique_ptr<NativeWindow> Win32WindowSystem::MakeWindow(const WindowPlan& plan,
                                                            WindowEvents& events) {
    return std::make_unique<Win32Window>(*this, plan, events);
}

void Win32WindowSystem::DestroyLater(std::unique_ptr<NativeWindow> window) {
    if (!window)
        return;
    if (auto* native = dynamic_cast<Win32Window*>(window.get())) {
        native->Detach();
        native->Hide();
    }
    pending_.push_back(std::move(window));
    // Destroyed once the message being handled, maybe the window's own
    // click, is over.
    if (!destroyPosted_)
        destroyPosted_ = PostMessageW(messageWindow_.get(), DestroyPendingMessage, 0, 0) != FALSE;
}

void Win32WindowSystem::DestroyPending() {
    // Destroying a window activates another, whose handling may let go of
    // yet another.
    while (!pending_.empty()) {
        std::vector<std::unique_ptr<NativeWindow>> batch;
        batch.swap(pending_);
    }
}

int Win32WindowSystem::Run() {
    if (quitRequested_)
        return quitStatus_;
    running_ = true;
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            break;
        if (got == -1) {
            ReportFailure("the event loop failed");
            quitStatus_ = 1;
            break;
        }
        DeliverMessage(message);
    }
    running_ = false;
    return quitStatus_;
}

void Win32WindowSystem::Quit(int status) {
    quitRequested_ = true;
    quitStatus_ = status;
    // Posted only into a running loop: otherwise the thread would keep a
    // quit message for whatever loop comes next.
    if (running_)
        PostQuitMessage(status);
}

void Win32WindowSystem::DeliverMessage(MSG& message) {
    if (Win32Window* window = FormOf(message.hwnd)) {
        if (window->HandleTabKey(message))
            return;
        // Enter, Space and Esc as in a dialog; IsDialogMessageW dispatches
        // what it does not take itself.
        if (IsDialogMessageW(window->Handle(), &message))
            return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

Win32Window* Win32WindowSystem::FormOf(HWND window) const {
    const HWND root = window ? GetAncestor(window, GA_ROOT) : nullptr;
    if (!root || GetClassLongPtrW(root, GCW_ATOM) != formClass_.Atom())
        return nullptr;
    return reinterpret_cast<Win32Window*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

const win32::FontFamilies& Win32WindowSystem::Families() {
    if (!families_)
        families_ = std::make_unique<win32::FontFamilies>();
    return *families_;
}

LRESULT CALLBACK Win32WindowSystem::FormProcedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    auto* form = OwnerOf<Win32Window>(window, message, lParam);
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    return win32::AnswerGuarded(
        [&] { return form->HandleMessage(window, message, wParam, lParam); });
}

LRESULT CALLBACK Win32WindowSystem::MessageProcedure(HWND window, UINT message, WPARAM wParam,
                                                     LPARAM lParam) {
    auto* system = OwnerOf<Win32WindowSystem>(window, message, lParam);
    if (message == WM_CLIPBOARDUPDATE) {
        // Another program's copy: opening the clipboard lets Wine free this
        // process's copies of the earlier contents.
        DWORD owner = 0;
        GetWindowThreadProcessId(GetClipboardOwner(), &owner);
        if (owner != GetCurrentProcessId()) {
            const win32::OpenedClipboard opened(window);
        }
        return 0;
    }
    if (message != DestroyPendingMessage)
        return DefWindowProcW(window, message, wParam, lParam);
    if (system) {
        system->destroyPosted_ = false;
        win32::AnswerGuarded([&] {
            system->DestroyPending();
            return LRESULT{0};
        });
    }
    return 0;
}

} // namespace quimbel::ui
