// The field's UI Automation provider: the element (an Edit control named as
// the plan says), its Value pattern (the text) and its Text pattern, whose
// ranges are two positions in the field's text moved by the units the field
// itself uses (Win32FieldTextUnits). Called on the window's thread only: the
// provider says it follows COM's rules, and the thread is a single-threaded
// apartment.

#include "Win32Automation.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

namespace quimbel::ui::win32 {

namespace {

// How a range of ours answers to a query: by this id, with itself.
constexpr GUID FieldRangeId{
    0x2525c264, 0x478d, 0x4369, {0xad, 0x7c, 0xc1, 0xa6, 0xfd, 0x52, 0xc1, 0xf6}};

// A property change carries the new text only up to this length; a reader
// asks for a longer one when it wants it, instead of every key copying it.
constexpr std::size_t LongestValueSent = 64 * 1024;

// No exception crosses into UI Automation.
template <class Call> HRESULT Guarded(Call&& call) noexcept {
    try {
        return std::forward<Call>(call)();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT NewString(std::wstring_view text, BSTR* answer) {
    *answer = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *answer ? S_OK : E_OUTOFMEMORY;
}

std::optional<TextUnit> UnitOf(int unit) {
    if (unit < static_cast<int>(TextUnit::Character) || unit > static_cast<int>(TextUnit::Document))
        return std::nullopt;
    return static_cast<TextUnit>(unit);
}

bool IsEndpoint(int endpoint) {
    return endpoint == uia::StartEndpoint || endpoint == uia::EndEndpoint;
}

// --- UI Automation's DLL -----------------------------------------------------

template <class Function> Function Look(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

class SystemAutomation final : public AutomationHost {
public:
    explicit SystemAutomation(HMODULE library)
        : returnProvider_(Look<ReturnProviderFn>(library, "UiaReturnRawElementProvider")),
          hostProvider_(Look<HostProviderFn>(library, "UiaHostProviderFromHwnd")),
          raiseEvent_(Look<RaiseEventFn>(library, "UiaRaiseAutomationEvent")),
          raisePropertyChanged_(
              Look<RaisePropertyChangedFn>(library, "UiaRaiseAutomationPropertyChangedEvent")),
          clientsListening_(Look<ClientsListeningFn>(library, "UiaClientsAreListening")),
          notSupported_(Look<NotSupportedFn>(library, "UiaGetReservedNotSupportedValue")),
          notify_(Look<NotifyFn>(library, "UiaRaiseNotificationEvent")) {}

    // Everything but the notifications, which Windows 10 1709 brought.
    bool Complete() const {
        return returnProvider_ && hostProvider_ && raiseEvent_ && raisePropertyChanged_ &&
               clientsListening_ && notSupported_;
    }

    bool ClientsListening() override { return clientsListening_() != FALSE; }
    LRESULT ReturnProvider(HWND window, WPARAM wParam, LPARAM lParam,
                           IRawElementProviderSimple* provider) override {
        return returnProvider_(window, wParam, lParam, provider);
    }
    HRESULT HostProvider(HWND window, IRawElementProviderSimple** provider) override {
        return hostProvider_(window, provider);
    }
    void RaiseEvent(IRawElementProviderSimple* provider, EVENTID event) override {
        raiseEvent_(provider, event);
    }
    void RaisePropertyChanged(IRawElementProviderSimple* provider, PROPERTYID property,
                              const VARIANT& before, const VARIANT& after) override {
        raisePropertyChanged_(provider, property, before, after);
    }
    void Notify(IRawElementProviderSimple* provider, std::wstring_view text) override {
        if (!notify_)
            return;
        const BSTR display = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        const BSTR activity = SysAllocString(L"Quimbel.Announcement");
        if (display && activity)
            notify_(provider, uia::ActionCompleted, uia::ImportantMostRecent, display, activity);
        SysFreeString(display);
        SysFreeString(activity);
    }
    HRESULT NotSupportedValue(IUnknown** value) override { return notSupported_(value); }

private:
    using ReturnProviderFn = LRESULT(WINAPI*)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*);
    using HostProviderFn = HRESULT(WINAPI*)(HWND, IRawElementProviderSimple**);
    using RaiseEventFn = HRESULT(WINAPI*)(IRawElementProviderSimple*, EVENTID);
    using RaisePropertyChangedFn = HRESULT(WINAPI*)(IRawElementProviderSimple*, PROPERTYID, VARIANT,
                                                    VARIANT);
    using ClientsListeningFn = BOOL(WINAPI*)();
    using NotSupportedFn = HRESULT(WINAPI*)(IUnknown**);
    using NotifyFn = HRESULT(WINAPI*)(IRawElementProviderSimple*, int, int, BSTR, BSTR);

    ReturnProviderFn returnProvider_;
    HostProviderFn hostProvider_;
    RaiseEventFn raiseEvent_;
    RaisePropertyChangedFn raisePropertyChanged_;
    ClientsListeningFn clientsListening_;
    NotSupportedFn notSupported_;
    NotifyFn notify_;
};

class FieldRange;

} // namespace

std::unique_ptr<AutomationHost> LoadSystemAutomation() {
    // From the system folder only, by its full path, as oleacc is.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const HMODULE library =
        LoadLibraryW((std::wstring(folder, length) + L"\\UIAutomationCore.dll").c_str());
    if (!library)
        return nullptr;
    auto host = std::make_unique<SystemAutomation>(library);
    if (!host->Complete()) {
        FreeLibrary(library);
        return nullptr;
    }
    // Never unloaded: once a client has been answered, UI Automation keeps
    // threads and objects of its own in the process until it ends.
    return host;
}

// --- The element ---------------------------------------------------------------

class FieldProvider final : public IRawElementProviderSimple,
                            public uia::ValueProvider,
                            public uia::TextProvider2 {
public:
    FieldProvider(AutomationField& field, AutomationHost& host, AccessibleText text)
        : field_(&field), host_(&host), text_(std::move(text)) {}
    FieldProvider(const FieldProvider&) = delete;
    FieldProvider& operator=(const FieldProvider&) = delete;

    // The field while its window lives, else null.
    AutomationField* Field() const { return field_; }
    AutomationHost* Host() const { return host_; }
    IRawElementProviderSimple* Element() { return this; }
    // The window has gone: every question from here on is told so.
    void Disconnect() {
        field_ = nullptr;
        host_ = nullptr;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualGUID(id, uia::UnknownId) || IsEqualGUID(id, uia::RawElementProviderSimpleId))
            *object = static_cast<IRawElementProviderSimple*>(this);
        else if (IsEqualGUID(id, uia::ValueProviderId))
            *object = static_cast<uia::ValueProvider*>(this);
        else if (IsEqualGUID(id, uia::TextProviderId) || IsEqualGUID(id, uia::TextProvider2Id))
            *object = static_cast<uia::TextProvider2*>(this);
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

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* options) override {
        if (!options)
            return E_POINTER;
        *options = static_cast<ProviderOptions>(ProviderOptions_ServerSideProvider |
                                                ProviderOptions_UseComThreading);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** provider) override {
        if (!provider)
            return E_POINTER;
        *provider = nullptr;
        if (!field_)
            return uia::ElementNotAvailable;
        if (pattern == uia::ValuePattern)
            *provider = static_cast<uia::ValueProvider*>(this);
        else if (pattern == uia::TextPattern || pattern == uia::TextPattern2)
            *provider = static_cast<uia::TextProvider2*>(this);
        if (*provider)
            (*provider)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* value) override {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        if (!field_)
            return uia::ElementNotAvailable;
        const HWND window = field_->Window();
        const auto boolean = [&](bool on) {
            value->vt = VT_BOOL;
            value->boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        };
        const auto string = [&](const std::wstring& text) {
            // None said: the host's answer stands.
            if (text.empty())
                return S_OK;
            value->vt = VT_BSTR;
            return NewString(text, &value->bstrVal);
        };
        switch (property) {
        case uia::ControlTypeProperty:
            value->vt = VT_I4;
            value->lVal = uia::EditControlType;
            return S_OK;
        case uia::NameProperty:
            return string(text_.name);
        case uia::HelpTextProperty:
            return string(text_.description);
        case uia::HasKeyboardFocusProperty:
            return boolean(GetFocus() == window);
        case uia::IsKeyboardFocusableProperty:
        case uia::IsEnabledProperty:
            return boolean(IsWindowEnabled(window) != FALSE);
        case uia::IsPasswordProperty:
            return boolean(false);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    get_HostRawElementProvider(IRawElementProviderSimple** provider) override {
        if (!provider)
            return E_POINTER;
        *provider = nullptr;
        if (!field_)
            return uia::ElementNotAvailable;
        return host_->HostProvider(field_->Window(), provider);
    }

    // Value pattern
    HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) override {
        if (!value)
            return E_INVALIDARG;
        if (!field_)
            return uia::ElementNotAvailable;
        if (!IsWindowEnabled(field_->Window()))
            return uia::ElementNotEnabled;
        return Guarded([&] {
            field_->ReplaceText(value);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) override {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        if (!field_)
            return uia::ElementNotAvailable;
        return NewString(field_->Text(), value);
    }
    HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* readOnly) override {
        if (!readOnly)
            return E_POINTER;
        *readOnly = FALSE;
        return field_ ? S_OK : uia::ElementNotAvailable;
    }

    // Text pattern
    HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** ranges) override;
    HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** ranges) override;
    HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple*,
                                             uia::TextRangeProvider** range) override {
        if (!range)
            return E_POINTER;
        *range = nullptr;
        // The field's text holds no elements.
        return field_ ? E_INVALIDARG : uia::ElementNotAvailable;
    }
    HRESULT STDMETHODCALLTYPE RangeFromPoint(uia::Point point,
                                             uia::TextRangeProvider** range) override;
    HRESULT STDMETHODCALLTYPE get_DocumentRange(uia::TextRangeProvider** range) override;
    HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(int* supported) override {
        if (!supported)
            return E_POINTER;
        *supported = uia::SingleSelection;
        return field_ ? S_OK : uia::ElementNotAvailable;
    }
    HRESULT STDMETHODCALLTYPE RangeFromAnnotation(IRawElementProviderSimple*,
                                                  uia::TextRangeProvider** range) override {
        if (!range)
            return E_POINTER;
        *range = nullptr;
        // The field's text has no annotations.
        return field_ ? E_INVALIDARG : uia::ElementNotAvailable;
    }
    HRESULT STDMETHODCALLTYPE GetCaretRange(BOOL* isActive,
                                            uia::TextRangeProvider** range) override;

private:
    ~FieldProvider() = default;

    // A new range of this provider's, in `range`.
    HRESULT MakeRange(TextRangeSpan span, uia::TextRangeProvider** range);
    // An array that holds `span` as a range.
    HRESULT RangeArray(TextRangeSpan span, SAFEARRAY** ranges);

    AutomationField* field_;
    AutomationHost* host_;
    AccessibleText text_;
    std::atomic<ULONG> references_{1};
};

namespace {

// --- A text range --------------------------------------------------------------

class FieldRange final : public uia::TextRangeProvider {
public:
    FieldRange(FieldProvider& provider, TextRangeSpan span) : provider_(&provider), span_(span) {
        provider_->Element()->AddRef();
    }
    FieldRange(const FieldRange&) = delete;
    FieldRange& operator=(const FieldRange&) = delete;

    // A range of ours, from any range a client hands back; else null.
    static FieldRange* Of(uia::TextRangeProvider* range) {
        void* ours = nullptr;
        if (!range || FAILED(range->QueryInterface(FieldRangeId, &ours)) || !ours)
            return nullptr;
        auto* found = static_cast<FieldRange*>(ours);
        found->Release();
        return found;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualGUID(id, uia::UnknownId) || IsEqualGUID(id, uia::TextRangeProviderId) ||
            IsEqualGUID(id, FieldRangeId)) {
            *object = static_cast<uia::TextRangeProvider*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Clone(uia::TextRangeProvider** range) override {
        if (!range)
            return E_POINTER;
        *range = nullptr;
        if (!Live())
            return uia::ElementNotAvailable;
        return Guarded([&] {
            *range = new FieldRange(*provider_, span_);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Compare(uia::TextRangeProvider* range, BOOL* same) override {
        if (!same)
            return E_POINTER;
        *same = FALSE;
        if (!range)
            return E_INVALIDARG;
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const FieldRange* other = Of(range);
        if (other && other->provider_ == provider_)
            *same = Span(*field) == other->Span(*field);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CompareEndpoints(int endpoint, uia::TextRangeProvider* target,
                                               int targetEndpoint, int* order) override {
        if (!order)
            return E_POINTER;
        *order = 0;
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const FieldRange* other = Of(target);
        if (!other || other->provider_ != provider_ || !IsEndpoint(endpoint) ||
            !IsEndpoint(targetEndpoint))
            return E_INVALIDARG;
        const auto ours = static_cast<long long>(Endpoint(Span(*field), endpoint));
        const auto theirs = static_cast<long long>(Endpoint(other->Span(*field), targetEndpoint));
        // How far apart, as far as an int goes: its sign is what counts.
        *order = static_cast<int>(std::clamp<long long>(ours - theirs, INT_MIN, INT_MAX));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(int unit) override {
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const std::optional<TextUnit> kind = UnitOf(unit);
        if (!kind)
            return E_INVALIDARG;
        span_ = FieldTextUnits(*field, *kind).Expand(Span(*field));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID attribute, VARIANT value, BOOL,
                                            uia::TextRangeProvider** found) override {
        if (!found)
            return E_POINTER;
        *found = nullptr;
        if (!Live())
            return uia::ElementNotAvailable;
        return Guarded([&] {
            // The text has one font throughout and is never read-only: either
            // the whole range has the value asked for, or none of it does.
            VARIANT actual;
            VariantInit(&actual);
            const HRESULT result = GetAttributeValue(attribute, &actual);
            if (FAILED(result))
                return result;
            bool same = actual.vt == value.vt;
            if (same && actual.vt == VT_BSTR)
                same = CompareStringOrdinal(
                           actual.bstrVal, static_cast<int>(SysStringLen(actual.bstrVal)),
                           value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)),
                           TRUE) == CSTR_EQUAL;
            else if (same && actual.vt == VT_R8)
                same = actual.dblVal == value.dblVal;
            else if (same && actual.vt == VT_BOOL)
                same = actual.boolVal == value.boolVal;
            else
                same = false;
            VariantClear(&actual);
            if (same && span_.start < span_.end)
                *found = new FieldRange(*provider_, span_);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase,
                                       uia::TextRangeProvider** found) override {
        if (!found)
            return E_POINTER;
        *found = nullptr;
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const UINT length = text ? SysStringLen(text) : 0;
        if (length == 0)
            return E_INVALIDARG;
        const TextRangeSpan span = Span(*field);
        if (span.end - span.start < length)
            return S_OK;
        return Guarded([&] {
            const int at = FindStringOrdinal(
                backward ? FIND_FROMEND : FIND_FROMSTART, field->Text().data() + span.start,
                static_cast<int>(std::min<std::size_t>(span.end - span.start, INT_MAX)), text,
                static_cast<int>(length), ignoreCase);
            if (at >= 0) {
                const std::size_t start = span.start + static_cast<std::size_t>(at);
                *found = new FieldRange(*provider_, {start, start + length});
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attribute,
                                                VARIANT* value) override {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        return Guarded([&] {
            switch (attribute) {
            case uia::FontNameAttribute:
                value->vt = VT_BSTR;
                return NewString(field->FontName(), &value->bstrVal);
            case uia::FontSizeAttribute:
                value->vt = VT_R8;
                value->dblVal = field->FontPoints();
                return S_OK;
            case uia::IsReadOnlyAttribute:
                value->vt = VT_BOOL;
                value->boolVal = VARIANT_FALSE;
                return S_OK;
            }
            IUnknown* notSupported = nullptr;
            const HRESULT result = provider_->Host()->NotSupportedValue(&notSupported);
            if (FAILED(result))
                return result;
            value->vt = VT_UNKNOWN;
            value->punkVal = notSupported;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** rectangles) override;
    HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** element) override {
        if (!element)
            return E_POINTER;
        *element = nullptr;
        if (!Live())
            return uia::ElementNotAvailable;
        *element = provider_->Element();
        (*element)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* text) override {
        if (!text)
            return E_POINTER;
        *text = nullptr;
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        if (maxLength < -1)
            return E_INVALIDARG;
        const TextRangeSpan span = Span(*field);
        std::size_t count = span.end - span.start;
        if (maxLength >= 0)
            count = std::min(count, static_cast<std::size_t>(maxLength));
        return NewString(field->Text().substr(span.start, count), text);
    }
    HRESULT STDMETHODCALLTYPE Move(int unit, int count, int* moved) override {
        if (!moved)
            return E_POINTER;
        *moved = 0;
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const std::optional<TextUnit> kind = UnitOf(unit);
        if (!kind)
            return E_INVALIDARG;
        TextRangeSpan span = Span(*field);
        *moved = FieldTextUnits(*field, *kind).Move(span, count);
        span_ = span;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(int endpoint, int unit, int count,
                                                 int* moved) override {
        if (!moved)
            return E_POINTER;
        *moved = 0;
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const std::optional<TextUnit> kind = UnitOf(unit);
        if (!kind || !IsEndpoint(endpoint))
            return E_INVALIDARG;
        TextRangeSpan span = Span(*field);
        *moved =
            FieldTextUnits(*field, *kind).MoveEndpoint(span, endpoint == uia::StartEndpoint, count);
        span_ = span;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveEndpointByRange(int endpoint, uia::TextRangeProvider* target,
                                                  int targetEndpoint) override {
        const AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const FieldRange* other = Of(target);
        if (!other || other->provider_ != provider_ || !IsEndpoint(endpoint) ||
            !IsEndpoint(targetEndpoint))
            return E_INVALIDARG;
        const std::size_t at = Endpoint(other->Span(*field), targetEndpoint);
        TextRangeSpan span = Span(*field);
        // The other end follows where the two would cross.
        if (endpoint == uia::StartEndpoint)
            span = {at, std::max(span.end, at)};
        else
            span = {std::min(span.start, at), at};
        span_ = span;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Select() override {
        AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const TextRangeSpan span = Span(*field);
        return Guarded([&] {
            field->SelectText(span.start, span.end);
            return S_OK;
        });
    }
    // The field holds one selection: there is none to add or take away.
    HRESULT STDMETHODCALLTYPE AddToSelection() override {
        return Live() ? uia::InvalidOperation : uia::ElementNotAvailable;
    }
    HRESULT STDMETHODCALLTYPE RemoveFromSelection() override {
        return Live() ? uia::InvalidOperation : uia::ElementNotAvailable;
    }
    HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) override {
        AutomationField* field = Live();
        if (!field)
            return uia::ElementNotAvailable;
        const TextRangeSpan span = Span(*field);
        field->ScrollIntoView(alignToTop ? span.start : span.end, alignToTop != FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** children) override {
        if (!children)
            return E_POINTER;
        *children = nullptr;
        if (!Live())
            return uia::ElementNotAvailable;
        // The field's text holds no elements.
        *children = SafeArrayCreateVector(VT_UNKNOWN, 0, 0);
        return *children ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~FieldRange() { provider_->Element()->Release(); }

    AutomationField* Live() const { return provider_->Field(); }
    // Kept within the text as it is now: it may have become shorter.
    TextRangeSpan Span(const AutomationField& field) const {
        return ClampedToText(span_, field.Text().size());
    }
    static std::size_t Endpoint(TextRangeSpan span, int endpoint) {
        return endpoint == uia::StartEndpoint ? span.start : span.end;
    }

    FieldProvider* provider_;
    TextRangeSpan span_;
    std::atomic<ULONG> references_{1};
};

HRESULT FieldRange::GetBoundingRectangles(SAFEARRAY** rectangles) {
    if (!rectangles)
        return E_POINTER;
    *rectangles = nullptr;
    AutomationField* field = Live();
    if (!field)
        return uia::ElementNotAvailable;
    return Guarded([&] {
        const TextRangeSpan span = Span(*field);
        const HWND window = field->Window();
        RECT client{};
        GetClientRect(window, &client);
        std::vector<double> found;
        // The rows shown whole that the range reaches into, each clipped to
        // the field: blanks may hang past its edge.
        if (span.start < span.end) {
            const std::size_t first = field->FirstVisibleRow();
            const std::size_t end = std::min(first + field->VisibleRowCount(), field->RowCount());
            for (std::size_t row = std::max(field->RowOf(span.start), first);
                 row < end && field->RowStart(row) < span.end; ++row) {
                const std::size_t from = std::max(span.start, field->RowStart(row));
                const std::size_t to = std::min(span.end, field->RowEnd(row));
                if (to <= from)
                    continue;
                const RECT box = field->Box(row, from, to);
                RECT shown{};
                if (!IntersectRect(&shown, &box, &client))
                    continue;
                MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&shown), 2);
                found.insert(found.end(),
                             {static_cast<double>(shown.left), static_cast<double>(shown.top),
                              static_cast<double>(shown.right - shown.left),
                              static_cast<double>(shown.bottom - shown.top)});
            }
        }
        SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(found.size()));
        if (!array)
            return E_OUTOFMEMORY;
        if (!found.empty()) {
            void* data = nullptr;
            if (FAILED(SafeArrayAccessData(array, &data))) {
                SafeArrayDestroy(array);
                return E_FAIL;
            }
            std::copy(found.begin(), found.end(), static_cast<double*>(data));
            SafeArrayUnaccessData(array);
        }
        *rectangles = array;
        return S_OK;
    });
}

} // namespace

HRESULT FieldProvider::MakeRange(TextRangeSpan span, uia::TextRangeProvider** range) {
    *range = nullptr;
    return Guarded([&] {
        *range = new FieldRange(*this, ClampedToText(span, field_->Text().size()));
        return S_OK;
    });
}

HRESULT FieldProvider::RangeArray(TextRangeSpan span, SAFEARRAY** ranges) {
    uia::TextRangeProvider* range = nullptr;
    const HRESULT made = MakeRange(span, &range);
    if (FAILED(made))
        return made;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    if (!array) {
        range->Release();
        return E_OUTOFMEMORY;
    }
    LONG index = 0;
    // The array holds a reference of its own.
    const HRESULT put = SafeArrayPutElement(array, &index, static_cast<IUnknown*>(range));
    range->Release();
    if (FAILED(put)) {
        SafeArrayDestroy(array);
        return put;
    }
    *ranges = array;
    return S_OK;
}

HRESULT FieldProvider::GetSelection(SAFEARRAY** ranges) {
    if (!ranges)
        return E_POINTER;
    *ranges = nullptr;
    if (!field_)
        return uia::ElementNotAvailable;
    // With nothing selected, the caret: an empty range where it stands.
    return RangeArray({field_->SelectionStart(), field_->SelectionEnd()}, ranges);
}

HRESULT FieldProvider::GetVisibleRanges(SAFEARRAY** ranges) {
    if (!ranges)
        return E_POINTER;
    *ranges = nullptr;
    if (!field_)
        return uia::ElementNotAvailable;
    // The rows shown follow each other in the text: one range holds them.
    const std::size_t first = std::min(field_->FirstVisibleRow(), field_->RowCount() - 1);
    const std::size_t last =
        std::min(first + std::max<std::size_t>(field_->VisibleRowCount(), 1), field_->RowCount()) -
        1;
    return RangeArray({field_->RowStart(first), field_->RowEnd(last)}, ranges);
}

HRESULT FieldProvider::RangeFromPoint(uia::Point point, uia::TextRangeProvider** range) {
    if (!range)
        return E_POINTER;
    *range = nullptr;
    if (!field_)
        return uia::ElementNotAvailable;
    POINT at{static_cast<LONG>(std::lround(point.x)), static_cast<LONG>(std::lround(point.y))};
    ScreenToClient(field_->Window(), &at);
    const std::size_t position = field_->StopNearest(at);
    return MakeRange({position, position}, range);
}

HRESULT FieldProvider::get_DocumentRange(uia::TextRangeProvider** range) {
    if (!range)
        return E_POINTER;
    *range = nullptr;
    if (!field_)
        return uia::ElementNotAvailable;
    return MakeRange({0, field_->Text().size()}, range);
}

HRESULT FieldProvider::GetCaretRange(BOOL* isActive, uia::TextRangeProvider** range) {
    if (!isActive || !range)
        return E_POINTER;
    *isActive = FALSE;
    *range = nullptr;
    if (!field_)
        return uia::ElementNotAvailable;
    *isActive = GetFocus() == field_->Window();
    const std::size_t caret = field_->Caret();
    return MakeRange({caret, caret}, range);
}

// --- The field's side ---------------------------------------------------------

FieldAutomation::FieldAutomation(AutomationField& field, AccessibilityServices& services,
                                 const ControlPlan& plan)
    : field_(field), services_(services), plan_(plan) {}

FieldAutomation::~FieldAutomation() {
    if (provider_) {
        provider_->Disconnect();
        provider_->Release();
    }
}

std::optional<LRESULT> FieldAutomation::Answer(WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(lParam) != uia::RootObjectId)
        return std::nullopt;
    AutomationHost* host = services_.Automation();
    if (!host)
        return std::nullopt;
    if (!provider_)
        // Named as Active Accessibility names it: as the plan says.
        provider_ = new FieldProvider(field_, *host, AccessibleTextOf(plan_));
    return host->ReturnProvider(field_.Window(), wParam, lParam, provider_->Element());
}

void FieldAutomation::TextChanged() {
    AutomationHost* host = provider_ ? provider_->Host() : nullptr;
    if (!host || !host->ClientsListening())
        return;
    host->RaiseEvent(provider_->Element(), uia::TextChangedEvent);
    VARIANT before;
    VariantInit(&before);
    VARIANT after;
    VariantInit(&after);
    const std::wstring_view text = field_.Text();
    if (text.size() <= LongestValueSent) {
        after.vt = VT_BSTR;
        after.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!after.bstrVal)
            after.vt = VT_EMPTY;
    }
    host->RaisePropertyChanged(provider_->Element(), uia::ValueProperty, before, after);
    VariantClear(&after);
}

void FieldAutomation::SelectionChanged() {
    // Active Accessibility's readers hear of it whether or not UI
    // Automation's listen: Windows keeps the event from costing anything
    // when no one has asked for it.
    NotifyWinEvent(EVENT_OBJECT_TEXTSELECTIONCHANGED, field_.Window(), OBJID_CLIENT, CHILDID_SELF);
    AutomationHost* host = provider_ ? provider_->Host() : nullptr;
    if (host && host->ClientsListening())
        host->RaiseEvent(provider_->Element(), uia::TextSelectionChangedEvent);
}

void FieldAutomation::WindowDestroyed() {
    if (!provider_)
        return;
    if (AutomationHost* host = provider_->Host())
        host->ReturnProvider(field_.Window(), 0, 0, nullptr);
    provider_->Disconnect();
    provider_->Release();
    provider_ = nullptr;
}

void AnnounceFrom(HWND window, AccessibilityServices& services, std::wstring_view text) {
    // Only once a client has asked for a provider: UI Automation is not
    // loaded for a run without one.
    AutomationHost* host = services.AutomationIfLoaded();
    if (!host || text.empty() || !host->ClientsListening())
        return;
    const HWND focus = GetFocus();
    const HWND from = focus && (focus == window || IsChild(window, focus)) ? focus : window;
    IRawElementProviderSimple* provider = nullptr;
    if (FAILED(host->HostProvider(from, &provider)) || !provider)
        return;
    host->Notify(provider, text);
    provider->Release();
}

} // namespace quimbel::ui::win32
