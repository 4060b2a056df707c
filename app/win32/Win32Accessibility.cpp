// What the program's windows and controls say to a screen reader through
// Active Accessibility: the object Windows makes for each window's client
// area, with the name, role and description the window plan gives. The stock
// objects name a field after whatever label precedes it in the stacking
// order, and Wine has none for buttons; the plan knows better.

#include "Win32Automation.h"
#include "Win32Private.h"

#include <oleacc.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>

namespace quimbel::ui::win32 {
namespace {

// Interface ids of our own: with MinGW-w64 the ones the import libraries
// declare can resolve to import thunks, and nothing would compare equal.
constexpr GUID UnknownId{
    0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID DispatchId{
    0x00020400, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID OleWindowId{
    0x00000114, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// A text as MSAA hands it out; no text at all is S_FALSE with no string.
HRESULT Answer(const std::wstring& text, BSTR* answer) {
    if (!answer)
        return E_INVALIDARG;
    *answer = nullptr;
    if (text.empty())
        return S_FALSE;
    *answer = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *answer ? S_OK : E_OUTOFMEMORY;
}

// The stock object, with our name, role and description for the window
// itself; everything else, its children included, is the stock object's.
// It holds its own copy of the texts: a reader in another process may keep
// it after the window has gone.
class AccessibleClient final : public IAccessible, public IOleWindow {
public:
    AccessibleClient(HWND window, IAccessible* standard, AccessibleText text)
        : window_(window), standard_(standard), text_(std::move(text)) {}
    AccessibleClient(const AccessibleClient&) = delete;
    AccessibleClient& operator=(const AccessibleClient&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualGUID(id, UnknownId) || IsEqualGUID(id, DispatchId) ||
            IsEqualGUID(id, AccessibleInterfaceId))
            *object = static_cast<IAccessible*>(this);
        else if (IsEqualGUID(id, OleWindowId))
            *object = static_cast<IOleWindow*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return standard_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_->GetIDsOfNames(id, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        return standard_->Invoke(member, id, locale, flags, parameters, result, exception,
                                 argumentError);
    }

    // IAccessible: ours for the window itself.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return IsSelf(child) ? Answer(text_.name, name) : standard_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        return IsSelf(child) ? Answer(text_.description, description)
                             : standard_->get_accDescription(child, description);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!IsSelf(child))
            return standard_->get_accRole(child, role);
        if (!role)
            return E_INVALIDARG;
        VariantInit(role);
        role->vt = VT_I4;
        role->lVal = text_.role;
        return S_OK;
    }

    // IAccessible: the stock object's.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        return standard_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard_->get_accChild(child, object);
    }
    // A field's value is its text, read when asked: the field is a window
    // class of the program's own, which the stock objects know nothing of.
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!IsSelf(child) || text_.role != ROLE_SYSTEM_TEXT)
            return standard_->get_accValue(child, value);
        if (!value)
            return E_INVALIDARG;
        *value = nullptr;
        if (!IsWindow(window_))
            return E_FAIL;
        const std::wstring text = TextOfWindow(window_);
        *value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        const HRESULT result = standard_->get_accState(child, state);
        // A field takes the focus, as the stock object says of a stock edit.
        if (SUCCEEDED(result) && IsSelf(child) && text_.role == ROLE_SYSTEM_TEXT && state &&
            state->vt == VT_I4 && !(state->lVal & STATE_SYSTEM_UNAVAILABLE))
            state->lVal |= STATE_SYSTEM_FOCUSABLE;
        return result;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return standard_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return standard_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return standard_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return standard_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_->put_accValue(child, value);
    }

    // IOleWindow: the window it stands for.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window)
            return E_POINTER;
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

private:
    ~AccessibleClient() { standard_->Release(); }

    HWND window_;
    IAccessible* standard_;
    AccessibleText text_;
    std::atomic<ULONG> references_{1};
};

// What a control's subclass needs to answer a reader; the subclass owns it.
struct AccessibleControl {
    const ControlPlan& plan;
    AccessibilityServices& services;
};

LRESULT CALLBACK AccessibleControlProcedure(HWND control, UINT message, WPARAM wParam,
                                            LPARAM lParam, UINT_PTR id, DWORD_PTR data) noexcept {
    auto* const accessible = reinterpret_cast<AccessibleControl*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(control, AccessibleControlProcedure, id);
        delete accessible;
        return DefSubclassProc(control, message, wParam, lParam);
    }
    return AnswerGuarded([&] {
        if (message == WM_GETOBJECT)
            if (const auto answer = AnswerGetObject(accessible->services, control, wParam, lParam,
                                                    AccessibleTextOf(accessible->plan)))
                return *answer;
        return DefSubclassProc(control, message, wParam, lParam);
    });
}

LONG RoleOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return ROLE_SYSTEM_STATICTEXT;
    case ControlKind::TextBox:
        return ROLE_SYSTEM_TEXT;
    case ControlKind::CommandButton:
        return ROLE_SYSTEM_PUSHBUTTON;
    case ControlKind::Frame:
        break;
    }
    return ROLE_SYSTEM_GROUPING;
}

} // namespace

AccessibleText AccessibleTextOf(const ControlPlan& control) {
    return {RoleOf(control.Kind()), WideFromUtf8(control.accessibleName),
            WideFromUtf8(control.accessibleDescription)};
}

AccessibleText AccessibleTextOf(const WindowPlan& window) {
    LONG role = ROLE_SYSTEM_CLIENT;
    if (window.role == WindowRole::Dialog)
        role = ROLE_SYSTEM_DIALOG;
    else if (window.role == WindowRole::Alert)
        role = ROLE_SYSTEM_ALERT;
    return {role, WideFromUtf8(window.caption), WideFromUtf8(window.description)};
}

AccessibilityServices::AccessibilityServices() = default;

AccessibilityServices::~AccessibilityServices() {
    // Readers' hold on our objects ends with COM, before the code the
    // objects run is unloaded.
    com_.reset();
    if (library_)
        FreeLibrary(library_);
}

AutomationHost* AccessibilityServices::Automation() {
    if (!automationTried_) {
        automationTried_ = true;
        // COM on the thread first: the provider lives in its apartment.
        Ready();
        if (!automation_)
            automation_ = LoadSystemAutomation();
    }
    return automation_.get();
}

void AccessibilityServices::UseAutomation(std::unique_ptr<AutomationHost> automation) {
    automation_ = std::move(automation);
    automationTried_ = automation_ != nullptr;
}

bool AccessibilityServices::Ready() {
    if (com_)
        return result_ != nullptr;
    com_.emplace();
    // From the system folder only, by its full path: Windows 7 without its
    // 2011 loader update knows no flag that says so.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    library_ = LoadLibraryW((std::wstring(folder, length) + L"\\oleacc.dll").c_str());
    if (!library_)
        return false;
    createStandard_ = reinterpret_cast<CreateStandardObject>(
        reinterpret_cast<void*>(GetProcAddress(library_, "CreateStdAccessibleObject")));
    const auto result = reinterpret_cast<ResultFromObject>(
        reinterpret_cast<void*>(GetProcAddress(library_, "LresultFromObject")));
    if (createStandard_)
        result_ = result;
    return result_ != nullptr;
}

std::optional<LRESULT> AnswerGetObject(AccessibilityServices& services, HWND window, WPARAM wParam,
                                       LPARAM lParam, const AccessibleText& text) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || !services.Ready())
        return std::nullopt;
    IAccessible* made = nullptr;
    if (FAILED(services.CreateStandard()(window, OBJID_CLIENT, AccessibleInterfaceId,
                                         reinterpret_cast<void**>(&made))) ||
        !made)
        return std::nullopt;
    std::unique_ptr<IAccessible, ComReleaser> standard(made);
    auto* client = new AccessibleClient(window, standard.get(), text);
    // Which owns it from here on.
    standard.release();
    const LRESULT result =
        services.Result()(AccessibleInterfaceId, wParam, static_cast<IAccessible*>(client));
    client->Release();
    return result;
}

void MakeAccessible(HWND control, const ControlPlan& plan, AccessibilityServices& services) {
    auto accessible = std::make_unique<AccessibleControl>(AccessibleControl{plan, services});
    if (SetWindowSubclass(control, AccessibleControlProcedure, 0,
                          reinterpret_cast<DWORD_PTR>(accessible.get())))
        accessible.release();
}

} // namespace quimbel::ui::win32
