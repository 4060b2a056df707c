#pragma once

// UI Automation for the field of the program's own: the provider a client
// (Narrator among them) reads the field through, with its Value and Text
// patterns, made when a client first asks and handed back when the window
// goes. The Active Accessibility object stays beside it for readers that use
// that. The field reaches it through AutomationField, a few questions about
// its text, rows and font, so that the provider follows whatever the field
// does with them.

#include "Win32FieldTextUnits.h"
#include "Win32Private.h"

#include <oleauto.h>
#include <uiautomationcore.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quimbel::ui::win32 {

// --- UI Automation's numbers ----------------------------------------------

// MinGW-w64's headers have only some of these; Windows' own values.
namespace uia {
inline constexpr LPARAM RootObjectId = -25;
inline constexpr PATTERNID ValuePattern = 10002;
inline constexpr PATTERNID TextPattern = 10014;
inline constexpr PATTERNID TextPattern2 = 10024;
inline constexpr PROPERTYID ControlTypeProperty = 30003;
inline constexpr PROPERTYID NameProperty = 30005;
inline constexpr PROPERTYID HasKeyboardFocusProperty = 30008;
inline constexpr PROPERTYID IsKeyboardFocusableProperty = 30009;
inline constexpr PROPERTYID IsEnabledProperty = 30010;
inline constexpr PROPERTYID HelpTextProperty = 30013;
inline constexpr PROPERTYID IsPasswordProperty = 30019;
inline constexpr PROPERTYID ValueProperty = 30045;
inline constexpr PROPERTYID ValueIsReadOnlyProperty = 30046;
inline constexpr EVENTID TextSelectionChangedEvent = 20014;
inline constexpr EVENTID TextChangedEvent = 20015;
inline constexpr TEXTATTRIBUTEID FontNameAttribute = 40005;
inline constexpr TEXTATTRIBUTEID FontSizeAttribute = 40006;
inline constexpr TEXTATTRIBUTEID IsReadOnlyAttribute = 40015;
inline constexpr CONTROLTYPEID EditControlType = 50004;
inline constexpr HRESULT ElementNotEnabled = static_cast<HRESULT>(0x80040200);
inline constexpr HRESULT ElementNotAvailable = static_cast<HRESULT>(0x80040201);
inline constexpr HRESULT InvalidOperation = static_cast<HRESULT>(0x80131509);
// TextPatternRangeEndpoint, SupportedTextSelection, NotificationKind and
// NotificationProcessing.
inline constexpr int StartEndpoint = 0;
inline constexpr int EndEndpoint = 1;
inline constexpr int SingleSelection = 1;
inline constexpr int ActionCompleted = 2;
inline constexpr int ImportantMostRecent = 1;

// Where a range's endpoint or a point stands, as UiaPoint.
struct Point {
    double x;
    double y;
};

// The patterns' interfaces, laid out as Windows declares them (MinGW-w64's
// headers lack them), under names of ours so that they stand beside a header
// that has them.
struct ValueProvider : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* readOnly) = 0;
};

struct TextRangeProvider : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Clone(TextRangeProvider** range) = 0;
    virtual HRESULT STDMETHODCALLTYPE Compare(TextRangeProvider* range, BOOL* same) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareEndpoints(int endpoint, TextRangeProvider* target,
                                                       int targetEndpoint, int* order) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(int unit) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID attribute, VARIANT value,
                                                    BOOL backward, TextRangeProvider** found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase,
                                               TextRangeProvider** found) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attribute,
                                                        VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** rectangles) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** element) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* text) = 0;
    virtual HRESULT STDMETHODCALLTYPE Move(int unit, int count, int* moved) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(int endpoint, int unit, int count,
                                                         int* moved) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveEndpointByRange(int endpoint, TextRangeProvider* target,
                                                          int targetEndpoint) = 0;
    virtual HRESULT STDMETHODCALLTYPE Select() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** children) = 0;
};

struct TextProvider : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** ranges) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** ranges) = 0;
    virtual HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple* child,
                                                     TextRangeProvider** range) = 0;
    virtual HRESULT STDMETHODCALLTYPE RangeFromPoint(Point point, TextRangeProvider** range) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DocumentRange(TextRangeProvider** range) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(int* supported) = 0;
};

struct TextProvider2 : TextProvider {
    virtual HRESULT STDMETHODCALLTYPE RangeFromAnnotation(IRawElementProviderSimple* annotation,
                                                          TextRangeProvider** range) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCaretRange(BOOL* isActive, TextRangeProvider** range) = 0;
};

// Their interface ids, our own: with MinGW-w64 the import libraries' can
// resolve to import thunks, which no query would match.
inline constexpr GUID UnknownId{
    0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID RawElementProviderSimpleId{
    0xd6dd68d1, 0x86fd, 0x4332, {0x86, 0x66, 0x9a, 0xbe, 0xde, 0xa2, 0xd2, 0x4c}};
inline constexpr GUID ValueProviderId{
    0xc7935180, 0x6fb3, 0x4201, {0xb1, 0x74, 0x7d, 0xf7, 0x3a, 0xdb, 0xf6, 0x4a}};
inline constexpr GUID TextProviderId{
    0x3589c92c, 0x63f3, 0x4367, {0x99, 0xbb, 0xad, 0xa6, 0x53, 0xb7, 0x7c, 0xf2}};
inline constexpr GUID TextProvider2Id{
    0x0dc5e6ed, 0x3e16, 0x4bf1, {0x8f, 0x9a, 0xa9, 0x79, 0x87, 0x8b, 0xc1, 0x95}};
inline constexpr GUID TextRangeProviderId{
    0x5347ad7b, 0xc355, 0x46f8, {0xaf, 0xf5, 0x90, 0x90, 0x33, 0x58, 0x2f, 0x63}};
} // namespace uia

// --- What the provider asks of UI Automation itself -------------------------

// UIAutomationCore.dll's functions that a provider calls; a test records the
// calls instead.
class AutomationHost {
public:
    virtual ~AutomationHost() = default;
    virtual bool ClientsListening() = 0;
    // The answer to WM_GETOBJECT that hands `provider` to the client.
    virtual LRESULT ReturnProvider(HWND window, WPARAM wParam, LPARAM lParam,
                                   IRawElementProviderSimple* provider) = 0;
    // The provider Windows makes for the window itself (position, parent).
    virtual HRESULT HostProvider(HWND window, IRawElementProviderSimple** provider) = 0;
    virtual void RaiseEvent(IRawElementProviderSimple* provider, EVENTID event) = 0;
    virtual void RaisePropertyChanged(IRawElementProviderSimple* provider, PROPERTYID property,
                                      const VARIANT& before, const VARIANT& after) = 0;
    // A sentence for a reader to speak; nothing where Windows has no such
    // event (before Windows 10 1709).
    virtual void Notify(IRawElementProviderSimple* provider, std::wstring_view text) = 0;
    // The value that says a text attribute is not supported.
    virtual HRESULT NotSupportedValue(IUnknown** value) = 0;
};

// UI Automation's own, from the system folder; null where it cannot be loaded.
std::unique_ptr<AutomationHost> LoadSystemAutomation();

// --- What the field gives its provider --------------------------------------

class AutomationField : public FieldTextSource {
public:
    virtual HWND Window() const = 0;
    virtual std::size_t SelectionStart() const = 0;
    virtual std::size_t SelectionEnd() const = 0;
    virtual std::size_t Caret() const = 0;
    // Where `row` ends, before its line break.
    virtual std::size_t RowEnd(std::size_t row) const = 0;
    // The rows shown whole, from the first.
    virtual std::size_t FirstVisibleRow() const = 0;
    virtual std::size_t VisibleRowCount() const = 0;
    // Where the text from `from` to `to` of `row` is drawn, in client
    // coordinates, a row high.
    virtual RECT Box(std::size_t row, std::size_t from, std::size_t to) = 0;
    // The caret stop nearest a point of the client area.
    virtual std::size_t StopNearest(POINT point) = 0;
    virtual void SelectText(std::size_t start, std::size_t end) = 0;
    // Scrolls the row of `position` into view: at the top, or the bottom.
    virtual void ScrollIntoView(std::size_t position, bool alignToTop) = 0;
    // The whole text replaced, as one edit the user can undo.
    virtual void ReplaceText(std::wstring_view text) = 0;
    virtual std::wstring FontName() const = 0;
    virtual double FontPoints() const = 0;

protected:
    ~AutomationField() = default;
};

// --- The field's side ---------------------------------------------------------

class FieldProvider;

// What a field holds for UI Automation: its provider, made when a client
// first asks, and the events it raises while a client listens.
class FieldAutomation {
public:
    // `services` and the field's `plan` outlive the field. Nothing is made
    // until a client asks.
    FieldAutomation(AutomationField& field, AccessibilityServices& services,
                    const ControlPlan& plan);
    ~FieldAutomation();
    FieldAutomation(const FieldAutomation&) = delete;
    FieldAutomation& operator=(const FieldAutomation&) = delete;

    // The answer to WM_GETOBJECT for UI Automation's root object; nothing
    // for other objects, or where UI Automation cannot be had.
    std::optional<LRESULT> Answer(WPARAM wParam, LPARAM lParam);
    // The text changed, and the caret with it.
    void TextChanged();
    // The selection or the caret moved.
    void SelectionChanged();
    // The window is being destroyed: its provider is handed back and
    // answers no more.
    void WindowDestroyed();

private:
    AutomationField& field_;
    AccessibilityServices& services_;
    const ControlPlan& plan_;
    FieldProvider* provider_ = nullptr;
};

// A sentence for a screen reader to speak, from a control of `window`: its
// focused control's, or the window's own. Nothing without UI Automation's
// notifications or a client listening.
void AnnounceFrom(HWND window, AccessibilityServices& services, std::wstring_view text);

} // namespace quimbel::ui::win32
