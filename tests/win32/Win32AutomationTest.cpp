// The field's UI Automation provider, asked in the program's own process as
// a client would ask it through UI Automation (Wine has no client to ask it
// from another): its element, its Value pattern, and its Text pattern walked
// unit by unit against what the field's model and rows say. UI Automation's
// own calls (handing the provider over, events, notifications) are recorded
// instead of made.

#include "Win32Automation.h"
#include "Form1.h"
#include "Forms.h"
#include "Win32Access.h"
#include "Win32FieldModel.h"
#include "Win32Private.h"
#include "Win32TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quimbel::testing {
namespace {

namespace uia = ui::win32::uia;
using ui::win32::TextUnit;

template <class T> struct Releaser {
    void operator()(T* object) const { object->Release(); }
};
template <class T> using Com = std::unique_ptr<T, Releaser<T>>;
using Range = Com<uia::TextRangeProvider>;

// --- UI Automation, recorded ------------------------------------------------

// An element that stands for another's: the host's, the not-supported value.
class StandIn final : public IRawElementProviderSimple {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object)
            return E_POINTER;
        if (!IsEqualGUID(id, uia::UnknownId) && !IsEqualGUID(id, uia::RawElementProviderSimpleId)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IRawElementProviderSimple*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* options) override {
        *options = ProviderOptions_ServerSideProvider;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID, IUnknown** provider) override {
        *provider = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID, VARIANT* value) override {
        VariantInit(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    get_HostRawElementProvider(IRawElementProviderSimple** host) override {
        *host = nullptr;
        return S_OK;
    }
    // Held by no one but the test once it is done with.
    ULONG References() const { return references_; }

private:
    ULONG references_ = 1;
};

// What the provider asked of UI Automation.
struct Recording {
    bool listening = true;
    // The provider handed over at WM_GETOBJECT, with a reference of the test's.
    IRawElementProviderSimple* provider = nullptr;
    std::vector<HWND> handedBack;
    std::vector<EVENTID> events;
    std::vector<std::pair<PROPERTYID, std::wstring>> changes;
    std::vector<std::pair<HWND, std::wstring>> notices;
    StandIn host;
    StandIn notSupported;
    HWND hostOf = nullptr;

    ~Recording() {
        if (provider)
            provider->Release();
    }
};

class RecordedAutomation final : public ui::win32::AutomationHost {
public:
    explicit RecordedAutomation(Recording& recording) : recording_(recording) {}

    bool ClientsListening() override { return recording_.listening; }
    LRESULT ReturnProvider(HWND window, WPARAM, LPARAM,
                           IRawElementProviderSimple* provider) override {
        if (!provider) {
            recording_.handedBack.push_back(window);
            return 0;
        }
        provider->AddRef();
        if (recording_.provider)
            recording_.provider->Release();
        recording_.provider = provider;
        return 1;
    }
    HRESULT HostProvider(HWND window, IRawElementProviderSimple** provider) override {
        recording_.hostOf = window;
        recording_.host.AddRef();
        *provider = &recording_.host;
        return S_OK;
    }
    void RaiseEvent(IRawElementProviderSimple*, EVENTID event) override {
        recording_.events.push_back(event);
    }
    void RaisePropertyChanged(IRawElementProviderSimple*, PROPERTYID property, const VARIANT&,
                              const VARIANT& after) override {
        recording_.changes.emplace_back(
            property, after.vt == VT_BSTR ? std::wstring(after.bstrVal, SysStringLen(after.bstrVal))
                                          : L"(not a string)");
    }
    void Notify(IRawElementProviderSimple*, std::wstring_view text) override {
        recording_.notices.emplace_back(recording_.hostOf, std::wstring(text));
    }
    HRESULT NotSupportedValue(IUnknown** value) override {
        recording_.notSupported.AddRef();
        *value = &recording_.notSupported;
        return S_OK;
    }

private:
    Recording& recording_;
};

// --- Reading ranges -------------------------------------------------------------

std::wstring TextOf(uia::TextRangeProvider* range, int most = -1) {
    BSTR text = nullptr;
    if (FAILED(range->GetText(most, &text)))
        return L"(GetText failed)";
    std::wstring read(text, SysStringLen(text));
    SysFreeString(text);
    return read;
}

Range CloneOf(uia::TextRangeProvider* range) {
    uia::TextRangeProvider* clone = nullptr;
    EXPECT_EQ(range->Clone(&clone), S_OK);
    return Range(clone);
}

// The only range an array of ranges holds.
Range OnlyRangeIn(SAFEARRAY* ranges) {
    Range range;
    if (!ranges)
        return range;
    LONG low = 0;
    LONG high = -1;
    SafeArrayGetLBound(ranges, 1, &low);
    SafeArrayGetUBound(ranges, 1, &high);
    EXPECT_EQ(high - low, 0) << "one range";
    if (high >= low) {
        IUnknown* element = nullptr;
        SafeArrayGetElement(ranges, &low, &element);
        void* asRange = nullptr;
        if (element && SUCCEEDED(element->QueryInterface(uia::TextRangeProviderId, &asRange)))
            range.reset(static_cast<uia::TextRangeProvider*>(asRange));
        if (element)
            element->Release();
    }
    SafeArrayDestroy(ranges);
    return range;
}

std::vector<RECT> RectanglesOf(uia::TextRangeProvider* range) {
    SAFEARRAY* array = nullptr;
    std::vector<RECT> rectangles;
    if (FAILED(range->GetBoundingRectangles(&array)) || !array)
        return rectangles;
    LONG low = 0;
    LONG high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    double* values = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&values));
    for (LONG i = 0; i + 3 <= high - low; i += 4)
        rectangles.push_back({static_cast<LONG>(values[i]), static_cast<LONG>(values[i + 1]),
                              static_cast<LONG>(values[i] + values[i + 2]),
                              static_cast<LONG>(values[i + 1] + values[i + 3])});
    SafeArrayUnaccessData(array);
    SafeArrayDestroy(array);
    return rectangles;
}

std::string Describe(const RECT& rect) {
    return "(" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ")-(" +
           std::to_string(rect.right) + ", " + std::to_string(rect.bottom) + ")";
}

// --- The main window's first field, with UI Automation recorded -------------------

class FieldProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        system_.Accessibility().UseAutomation(std::make_unique<RecordedAutomation>(recording_));
        runtime_.Start<forms::Form1>();
        Form().Show();
        Pump(system_);
    }

    forms::Form1& Form() { return runtime_.DefaultInstance<forms::Form1>(); }
    HWND Field() { return ui::Win32ControlOf(Form(), "Text1"); }
    void Show(const std::wstring& text) {
        SendMessageW(Field(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::wstring Shown() { return ui::win32::TextOfWindow(Field()); }

    // As UI Automation asks when a client first looks at the field.
    IRawElementProviderSimple* Element() {
        if (!recording_.provider)
            SendMessageW(Field(), WM_GETOBJECT, 0,
                         static_cast<LPARAM>(static_cast<DWORD>(uia::RootObjectId)));
        return recording_.provider;
    }
    template <class Pattern> Com<Pattern> PatternOf(PATTERNID id, const GUID& interfaceId) {
        IUnknown* pattern = nullptr;
        Com<Pattern> found;
        if (!Element() || FAILED(Element()->GetPatternProvider(id, &pattern)) || !pattern)
            return found;
        void* asPattern = nullptr;
        if (SUCCEEDED(pattern->QueryInterface(interfaceId, &asPattern)))
            found.reset(static_cast<Pattern*>(asPattern));
        pattern->Release();
        return found;
    }
    Com<uia::TextProvider2> Text() {
        return PatternOf<uia::TextProvider2>(uia::TextPattern, uia::TextProvider2Id);
    }
    Com<uia::ValueProvider> Value() {
        return PatternOf<uia::ValueProvider>(uia::ValuePattern, uia::ValueProviderId);
    }
    Range Document() {
        uia::TextRangeProvider* range = nullptr;
        EXPECT_EQ(Text()->get_DocumentRange(&range), S_OK);
        return Range(range);
    }
    // An empty range at `position`, a caret stop.
    Range At(std::size_t position) {
        Range range = Document();
        range->MoveEndpointByRange(uia::EndEndpoint, range.get(), uia::StartEndpoint);
        // Stop by stop from the start, as a reader would get there.
        const std::vector<std::size_t> stops = Stops(Shown());
        const auto index = static_cast<int>(std::lower_bound(stops.begin(), stops.end(), position) -
                                            stops.begin());
        int moved = 0;
        range->MoveEndpointByUnit(uia::EndEndpoint, static_cast<int>(TextUnit::Character), index,
                                  &moved);
        range->MoveEndpointByRange(uia::StartEndpoint, range.get(), uia::EndEndpoint);
        return range;
    }

    // Caret stops, the text's end included, as the model gives them.
    static std::vector<std::size_t> Stops(std::wstring_view text) {
        std::vector<std::size_t> stops{0};
        while (stops.back() < text.size())
            stops.push_back(ui::win32::NextStop(text, stops.back()));
        return stops;
    }
    std::size_t RowCount() {
        return static_cast<std::size_t>(SendMessageW(Field(), EM_GETLINECOUNT, 0, 0));
    }
    std::size_t RowStart(std::size_t row) {
        return static_cast<std::size_t>(SendMessageW(Field(), EM_LINEINDEX, row, 0));
    }
    POINT Drawn(std::size_t position) {
        const auto at = static_cast<DWORD>(SendMessageW(Field(), EM_POSFROMCHAR, position, 0));
        POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
        ClientToScreen(Field(), &point);
        return point;
    }

    // Where each unit starts, as the field's model and rows say.
    std::vector<std::size_t> UnitStarts(TextUnit unit) {
        const std::wstring text = Shown();
        std::vector<std::size_t> starts{0};
        switch (unit) {
        case TextUnit::Character:
            starts = Stops(text);
            starts.pop_back();
            break;
        case TextUnit::Word:
            for (std::size_t at = ui::win32::NextWordStart(text, 0);
                 at > starts.back() && at < text.size(); at = ui::win32::NextWordStart(text, at))
                starts.push_back(at);
            break;
        case TextUnit::Line:
            starts.clear();
            for (std::size_t row = 0; row < RowCount(); ++row)
                starts.push_back(RowStart(row));
            break;
        case TextUnit::Paragraph:
            for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos;
                 at = text.find(L"\r\n", at + 2))
                starts.push_back(at + 2);
            break;
        case TextUnit::Format:
        case TextUnit::Page:
        case TextUnit::Document:
            break;
        }
        if (starts.empty())
            starts.push_back(0);
        return starts;
    }
    std::vector<std::wstring> ExpectedUnits(TextUnit unit) {
        const std::wstring text = Shown();
        const std::vector<std::size_t> starts = UnitStarts(unit);
        std::vector<std::wstring> units;
        for (std::size_t i = 0; i < starts.size(); ++i)
            units.push_back(text.substr(
                starts[i], (i + 1 < starts.size() ? starts[i + 1] : text.size()) - starts[i]));
        return units;
    }

    Recording recording_;
    ui::Win32WindowSystem system_;
    ui::FormsRuntime runtime_{system_};
};

std::string Narrow(std::wstring_view text) { return ui::win32::Utf8FromWide(text); }

const char* NameOf(TextUnit unit) {
    static const char* const names[] = {"character", "format", "word",    "line",
                                        "paragraph", "page",   "document"};
    return names[static_cast<int>(unit)];
}

constexpr TextUnit AllUnits[] = {TextUnit::Character, TextUnit::Format,    TextUnit::Word,
                                 TextUnit::Line,      TextUnit::Paragraph, TextUnit::Page,
                                 TextUnit::Document};

// The texts every walk goes through.
struct TextCase {
    const char* name;
    std::wstring text;
};

std::wstring LongLine() {
    std::wstring line;
    for (int i = 0; i < 40; ++i)
        line += L"diagonal " + std::to_wstring(17 + i) + L" inches ";
    return line;
}

const std::vector<TextCase>& Texts() {
    static const std::vector<TextCase> texts{
        {"empty", L""},
        {"Chinese", L"显示屏的对角线为十七英寸，换算之后得到厘米。"},
        {"Latin", L"17 inches is 43.18 centimetres,  measured twice"},
        {"a long wrapped line", LongLine()},
        {"line breaks", L"17\r\n\r\n43.18 cm\r\nlast line"},
        {"a line break at the end", L"one\r\ntwo\r\n"},
        {"a surrogate pair", L"ruler \U0001F4CF 17 \U0001D7D9\U0001D7DF in"},
        {"a combining mark", L"cafe\u0301 17 e\u0301\u0302 x"},
    };
    return texts;
}

// Each unit, walked from the start by Move and from the end by Move back, is
// what the model and the rows drawn say, in order; and a caret anywhere in
// a unit expands to that unit. Each step expands what it came to, as readers
// do: an empty unit (the line after a break at the end) is an insertion
// point, which Move moves as the caret.
TEST_F(FieldProviderTest, EveryUnitWalksTheTextAsTheFieldDividesIt) {
    for (const TextCase& tried : Texts()) {
        Show(tried.text);
        ASSERT_EQ(Shown(), tried.text);
        for (const TextUnit unit : AllUnits) {
            SCOPED_TRACE(std::string(tried.name) + ", by " + NameOf(unit));
            const int kind = static_cast<int>(unit);
            const std::vector<std::wstring> expected = ExpectedUnits(unit);

            Range forward = At(0);
            ASSERT_EQ(forward->ExpandToEnclosingUnit(kind), S_OK);
            std::vector<std::wstring> walked{TextOf(forward.get())};
            for (int moved = 1; moved == 1 && walked.size() <= expected.size();) {
                ASSERT_EQ(forward->Move(kind, 1, &moved), S_OK);
                ASSERT_EQ(forward->ExpandToEnclosingUnit(kind), S_OK);
                if (moved == 1)
                    walked.push_back(TextOf(forward.get()));
            }
            EXPECT_EQ(walked, expected) << "forward";

            Range back = At(tried.text.size());
            ASSERT_EQ(back->ExpandToEnclosingUnit(kind), S_OK);
            std::vector<std::wstring> walkedBack{TextOf(back.get())};
            for (int moved = -1; moved == -1 && walkedBack.size() <= expected.size();) {
                ASSERT_EQ(back->Move(kind, -1, &moved), S_OK);
                ASSERT_EQ(back->ExpandToEnclosingUnit(kind), S_OK);
                if (moved == -1)
                    walkedBack.push_back(TextOf(back.get()));
            }
            std::reverse(walkedBack.begin(), walkedBack.end());
            EXPECT_EQ(walkedBack, expected) << "back";

            // From every caret stop, the unit that holds it.
            const std::vector<std::size_t> starts = UnitStarts(unit);
            Range caret = At(0);
            for (const std::size_t stop : Stops(tried.text)) {
                const std::size_t index =
                    stop == tried.text.size()
                        ? starts.size() - 1
                        : static_cast<std::size_t>(
                              std::upper_bound(starts.begin(), starts.end(), stop) -
                              starts.begin() - 1);
                Range expanded = CloneOf(caret.get());
                expanded->ExpandToEnclosingUnit(kind);
                EXPECT_EQ(TextOf(expanded.get()), expected[index]) << "at " << stop;
                int moved = 0;
                caret->Move(static_cast<int>(TextUnit::Character), 1, &moved);
            }
        }
    }
}

// Moving by more than one unit, and moving one end, as readers do to read on
// or to select: never past the text, the other end following where they cross.
TEST_F(FieldProviderTest, RangesMoveByManyUnitsAndByTheirEnds) {
    Show(L"one two three four");
    const int word = static_cast<int>(TextUnit::Word);
    Range range = At(0);
    range->ExpandToEnclosingUnit(word);
    int moved = 0;
    ASSERT_EQ(range->Move(word, 2, &moved), S_OK);
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(TextOf(range.get()), L"three ");
    ASSERT_EQ(range->Move(word, 10, &moved), S_OK);
    EXPECT_EQ(moved, 1) << "only the last word is left";
    EXPECT_EQ(TextOf(range.get()), L"four");
    ASSERT_EQ(range->Move(word, -10, &moved), S_OK);
    EXPECT_EQ(moved, -3);
    EXPECT_EQ(TextOf(range.get()), L"one ");

    // Whole units stay whole; part of one more is cut back to the first.
    Range two = At(0);
    two->MoveEndpointByUnit(uia::EndEndpoint, word, 2, &moved);
    ASSERT_EQ(two->ExpandToEnclosingUnit(word), S_OK);
    EXPECT_EQ(TextOf(two.get()), L"one two ");
    two->MoveEndpointByUnit(uia::EndEndpoint, static_cast<int>(TextUnit::Character), 2, &moved);
    ASSERT_EQ(two->ExpandToEnclosingUnit(word), S_OK);
    EXPECT_EQ(TextOf(two.get()), L"one ");

    // An empty range moves as a caret does, to the text's very end.
    Range caret = At(5);
    ASSERT_EQ(caret->Move(word, 5, &moved), S_OK);
    EXPECT_EQ(moved, 3) << "to three, four and the end";
    EXPECT_EQ(TextOf(caret.get()), L"");
    ASSERT_EQ(caret->MoveEndpointByUnit(uia::StartEndpoint, word, -1, &moved), S_OK);
    EXPECT_EQ(moved, -1);
    EXPECT_EQ(TextOf(caret.get()), L"four");

    // One end past the other takes it along.
    Range ends = At(4);
    ends->MoveEndpointByUnit(uia::EndEndpoint, word, 2, &moved);
    EXPECT_EQ(TextOf(ends.get()), L"two three ");
    ends->MoveEndpointByUnit(uia::EndEndpoint, word, -2, &moved);
    EXPECT_EQ(moved, -2);
    EXPECT_EQ(TextOf(ends.get()), L"") << "the start followed the end back";
    Range all = Document();
    ends->MoveEndpointByRange(uia::EndEndpoint, all.get(), uia::EndEndpoint);
    EXPECT_EQ(TextOf(ends.get()), L"two three four");
    ends->MoveEndpointByRange(uia::StartEndpoint, all.get(), uia::EndEndpoint);
    EXPECT_EQ(TextOf(ends.get()), L"");

    // Compared, by whole range and by ends.
    Range first = At(0);
    first->ExpandToEnclosingUnit(word);
    Range same = At(2);
    same->ExpandToEnclosingUnit(word);
    BOOL equal = FALSE;
    ASSERT_EQ(first->Compare(same.get(), &equal), S_OK);
    EXPECT_TRUE(equal);
    ASSERT_EQ(first->Compare(all.get(), &equal), S_OK);
    EXPECT_FALSE(equal);
    int order = 0;
    ASSERT_EQ(first->CompareEndpoints(uia::EndEndpoint, all.get(), uia::EndEndpoint, &order), S_OK);
    EXPECT_LT(order, 0);
    ASSERT_EQ(all->CompareEndpoints(uia::StartEndpoint, first.get(), uia::StartEndpoint, &order),
              S_OK);
    EXPECT_EQ(order, 0);
    ASSERT_EQ(all->CompareEndpoints(uia::EndEndpoint, first.get(), uia::StartEndpoint, &order),
              S_OK);
    EXPECT_GT(order, 0);

    // What no range of Windows' would take.
    EXPECT_EQ(first->Move(7, 1, &moved), E_INVALIDARG) << "no such unit";
    EXPECT_EQ(first->MoveEndpointByUnit(2, word, 1, &moved), E_INVALIDARG) << "no such end";
    EXPECT_EQ(first->CompareEndpoints(uia::StartEndpoint, nullptr, uia::StartEndpoint, &order),
              E_INVALIDARG);
}

// Text is read no further than asked: a reader asks for a line's worth, not
// a megabyte.
TEST_F(FieldProviderTest, TextIsReadOnlyAsFarAsAsked) {
    const std::wstring text = L"17 " + std::wstring(100000, L'x');
    Show(text);
    Range all = Document();
    EXPECT_EQ(TextOf(all.get(), 0), L"");
    EXPECT_EQ(TextOf(all.get(), 4), L"17 x");
    EXPECT_EQ(TextOf(all.get()), text);
    EXPECT_EQ(TextOf(all.get(), 1 << 30), text);
    BSTR read = nullptr;
    EXPECT_EQ(all->GetText(-2, &read), E_INVALIDARG);
    EXPECT_EQ(read, nullptr);
}

// Each row shown, and each character in it, is where the field draws it, in
// screen coordinates; rows scrolled out of sight and empty ranges have none.
TEST_F(FieldProviderTest, BoundingRectanglesAreWhereTheRowsAreDrawn) {
    Show(LongLine());
    ASSERT_GT(RowCount(), 4U);
    SendMessageW(Field(), EM_LINESCROLL, 0, 2);
    const auto first =
        static_cast<std::size_t>(SendMessageW(Field(), EM_GETFIRSTVISIBLELINE, 0, 0));
    ASSERT_EQ(first, 2U);
    RECT client{};
    GetClientRect(Field(), &client);
    POINT clientEnd{client.right, client.bottom};
    ClientToScreen(Field(), &clientEnd);
    const int rowHeight = Drawn(RowStart(first + 1)).y - Drawn(RowStart(first)).y;
    ASSERT_GT(rowHeight, 0);
    const auto visible = static_cast<std::size_t>(client.bottom / rowHeight);
    ASSERT_GE(visible, 1U);
    const std::wstring text = Shown();

    const int line = static_cast<int>(TextUnit::Line);
    Range row = At(0);
    row->ExpandToEnclosingUnit(line);
    for (std::size_t index = 0; index < RowCount(); ++index) {
        SCOPED_TRACE("row " + std::to_string(index));
        const std::vector<RECT> rectangles = RectanglesOf(row.get());
        if (index < first || index >= first + visible) {
            EXPECT_TRUE(rectangles.empty()) << "out of sight";
        } else {
            ASSERT_EQ(rectangles.size(), 1U);
            const POINT start = Drawn(RowStart(index));
            EXPECT_EQ(rectangles[0].left, start.x);
            EXPECT_EQ(rectangles[0].top, start.y);
            EXPECT_EQ(rectangles[0].bottom - rectangles[0].top, rowHeight);
            // Each character but the row's last, from where it is drawn to
            // where the next one is.
            const std::size_t end = index + 1 < RowCount() ? RowStart(index + 1) : text.size();
            Range character = At(RowStart(index));
            character->ExpandToEnclosingUnit(static_cast<int>(TextUnit::Character));
            for (std::size_t at = RowStart(index); ui::win32::NextStop(text, at) < end;
                 at = ui::win32::NextStop(text, at)) {
                const POINT from = Drawn(at);
                const POINT to = Drawn(ui::win32::NextStop(text, at));
                // Blanks hanging past the field's edge are cut there.
                if (to.x > from.x && to.x <= clientEnd.x) {
                    const std::vector<RECT> box = RectanglesOf(character.get());
                    ASSERT_EQ(box.size(), 1U) << "at " << at;
                    const RECT drawn{from.x, from.y, to.x, from.y + rowHeight};
                    EXPECT_TRUE(EqualRect(&box[0], &drawn))
                        << "at " << at << ": " << Describe(box[0]) << " drawn " << Describe(drawn);
                    EXPECT_LE(box[0].right, rectangles[0].right);
                }
                int moved = 0;
                character->Move(static_cast<int>(TextUnit::Character), 1, &moved);
                ASSERT_EQ(moved, 1);
            }
        }
        int moved = 0;
        row->Move(line, 1, &moved);
    }
    EXPECT_TRUE(RectanglesOf(At(RowStart(first)).get()).empty()) << "an empty range";

    // All of it: one rectangle for each row shown.
    EXPECT_EQ(RectanglesOf(Document().get()).size(), visible);
}

// The selection, the caret, the rows shown and the point under a finger, as
// ranges; and a range selected or scrolled into view by a reader.
TEST_F(FieldProviderTest, SelectionCaretAndViewAreRanges) {
    Show(LongLine());
    SetFocus(Field());
    SendMessageW(Field(), EM_SETSEL, 9, 11);
    const Com<uia::TextProvider2> text = Text();
    ASSERT_TRUE(text);
    SAFEARRAY* ranges = nullptr;
    ASSERT_EQ(text->GetSelection(&ranges), S_OK);
    Range selection = OnlyRangeIn(ranges);
    ASSERT_TRUE(selection);
    EXPECT_EQ(TextOf(selection.get()), L"17");

    BOOL active = FALSE;
    uia::TextRangeProvider* caretRange = nullptr;
    ASSERT_EQ(text->GetCaretRange(&active, &caretRange), S_OK);
    Range caret(caretRange);
    EXPECT_TRUE(active);
    int moved = 0;
    caret->MoveEndpointByUnit(uia::EndEndpoint, static_cast<int>(TextUnit::Word), 1, &moved);
    EXPECT_EQ(TextOf(caret.get()), L" ") << "the caret is at the selection's end";

    int supported = 0;
    ASSERT_EQ(text->get_SupportedTextSelection(&supported), S_OK);
    EXPECT_EQ(supported, uia::SingleSelection);

    // A reader selects a word: the field selects it.
    Range word = At(20);
    word->ExpandToEnclosingUnit(static_cast<int>(TextUnit::Word));
    ASSERT_EQ(word->Select(), S_OK);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(Field(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(Shown().substr(start, end - start), TextOf(word.get()));
    EXPECT_EQ(word->AddToSelection(), uia::InvalidOperation) << "one selection only";
    EXPECT_EQ(word->RemoveFromSelection(), uia::InvalidOperation);

    // The rows shown, and scrolling another into view.
    ASSERT_EQ(text->GetVisibleRanges(&ranges), S_OK);
    Range shown = OnlyRangeIn(ranges);
    ASSERT_TRUE(shown);
    EXPECT_EQ(TextOf(shown.get()).substr(0, 9), L"diagonal ");
    const auto firstShownNow = [&] {
        return static_cast<std::size_t>(SendMessageW(Field(), EM_GETFIRSTVISIBLELINE, 0, 0));
    };
    ASSERT_GT(RowCount(), 6U);
    ASSERT_EQ(At(RowStart(3) + 2)->ScrollIntoView(TRUE), S_OK);
    EXPECT_EQ(firstShownNow(), 3U) << "at the top";
    ASSERT_EQ(At(RowStart(1))->ScrollIntoView(FALSE), S_OK);
    EXPECT_EQ(firstShownNow(), 0U) << "at the bottom, as far as there are rows above";
    ASSERT_EQ(At(Shown().size())->ScrollIntoView(FALSE), S_OK);
    const std::size_t firstShown = firstShownNow();
    EXPECT_GT(firstShown, 0U);
    ASSERT_EQ(text->GetVisibleRanges(&ranges), S_OK);
    shown = OnlyRangeIn(ranges);
    EXPECT_EQ(TextOf(shown.get()), Shown().substr(RowStart(firstShown)));

    // The point a little into a character is a caret before it.
    const std::size_t under = RowStart(firstShown) + 3;
    const POINT point = Drawn(under);
    uia::TextRangeProvider* pointed = nullptr;
    ASSERT_EQ(text->RangeFromPoint({point.x + 1.0, point.y + 1.0}, &pointed), S_OK);
    Range fromPoint(pointed);
    EXPECT_EQ(TextOf(fromPoint.get()), L"");
    fromPoint->MoveEndpointByUnit(uia::EndEndpoint, static_cast<int>(TextUnit::Document), 1,
                                  &moved);
    EXPECT_EQ(TextOf(fromPoint.get()), Shown().substr(under));
}

// What a reader learns of the field itself, as Active Accessibility says it.
TEST_F(FieldProviderTest, TheElementIsAnEditNamedAsThePlanSays) {
    IRawElementProviderSimple* element = Element();
    ASSERT_NE(element, nullptr);
    const ui::win32::AccessibleText planned =
        ui::win32::AccessibleTextOf(Form().Plan().controls[Form().Plan().IndexOf("Text1")]);
    ASSERT_FALSE(planned.name.empty());
    const auto property = [&](PROPERTYID id) {
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(element->GetPropertyValue(id, &value), S_OK);
        std::wstring said;
        if (value.vt == VT_BSTR)
            said = std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
        else if (value.vt == VT_I4)
            said = std::to_wstring(value.lVal);
        else if (value.vt == VT_BOOL)
            said = value.boolVal ? L"true" : L"false";
        else if (value.vt != VT_EMPTY)
            said = L"(another type)";
        VariantClear(&value);
        return said;
    };
    EXPECT_EQ(property(uia::ControlTypeProperty), std::to_wstring(uia::EditControlType));
    EXPECT_EQ(property(uia::NameProperty), planned.name);
    EXPECT_EQ(property(uia::HelpTextProperty), planned.description);
    EXPECT_EQ(property(uia::IsEnabledProperty), L"true");
    EXPECT_EQ(property(uia::IsKeyboardFocusableProperty), L"true");
    SetFocus(Field());
    EXPECT_EQ(property(uia::HasKeyboardFocusProperty), L"true");
    SetFocus(ui::Win32ControlOf(Form(), "Text2"));
    EXPECT_EQ(property(uia::HasKeyboardFocusProperty), L"false");
    EnableWindow(Field(), FALSE);
    EXPECT_EQ(property(uia::IsEnabledProperty), L"false");
    EnableWindow(Field(), TRUE);
    constexpr PROPERTYID ProcessId = 30002;
    EXPECT_EQ(property(ProcessId), L"") << "the host's to say";

    ProviderOptions options{};
    ASSERT_EQ(element->get_ProviderOptions(&options), S_OK);
    EXPECT_TRUE(options & ProviderOptions_ServerSideProvider);
    IRawElementProviderSimple* host = nullptr;
    ASSERT_EQ(element->get_HostRawElementProvider(&host), S_OK);
    EXPECT_EQ(host, &recording_.host);
    EXPECT_EQ(recording_.hostOf, Field());
    host->Release();

    IUnknown* none = nullptr;
    ASSERT_EQ(element->GetPatternProvider(10000, &none), S_OK) << "no Invoke pattern";
    EXPECT_EQ(none, nullptr);

    // Its text holds no elements of its own: every range is the field's.
    Range all = Document();
    IRawElementProviderSimple* enclosing = nullptr;
    ASSERT_EQ(all->GetEnclosingElement(&enclosing), S_OK);
    EXPECT_EQ(enclosing, element);
    enclosing->Release();
    SAFEARRAY* children = nullptr;
    ASSERT_EQ(all->GetChildren(&children), S_OK);
    ASSERT_NE(children, nullptr);
    LONG low = 0;
    LONG high = 0;
    SafeArrayGetLBound(children, 1, &low);
    SafeArrayGetUBound(children, 1, &high);
    EXPECT_EQ(high - low + 1, 0);
    SafeArrayDestroy(children);
}

// The value is the text; a reader's new value is one edit, undone as one.
TEST_F(FieldProviderTest, TheValueIsTheTextAndSettingItIsOneEdit) {
    Show(L"43.18");
    const Com<uia::ValueProvider> value = Value();
    ASSERT_TRUE(value);
    BSTR read = nullptr;
    ASSERT_EQ(value->get_Value(&read), S_OK);
    EXPECT_EQ(std::wstring(read, SysStringLen(read)), L"43.18");
    SysFreeString(read);
    BOOL readOnly = TRUE;
    ASSERT_EQ(value->get_IsReadOnly(&readOnly), S_OK);
    EXPECT_FALSE(readOnly);

    ASSERT_EQ(value->SetValue(L"17\n2"), S_OK);
    EXPECT_EQ(Shown(), L"17\r\n2") << "line breaks as the field keeps them";
    SendMessageW(Field(), EM_UNDO, 0, 0);
    EXPECT_EQ(Shown(), L"43.18") << "one Undo takes it back";

    EnableWindow(Field(), FALSE);
    EXPECT_EQ(value->SetValue(L"1"), uia::ElementNotEnabled);
    EnableWindow(Field(), TRUE);
    EXPECT_EQ(value->SetValue(nullptr), E_INVALIDARG);
}

// The attributes a reader asks for first; others are not supported, as UI
// Automation's own value says.
TEST_F(FieldProviderTest, TextAttributesAreTheFieldsFontAndEditable) {
    Show(L"17 英寸");
    Range all = Document();
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(all->GetAttributeValue(uia::FontNameAttribute, &value), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    const std::wstring face(value.bstrVal, SysStringLen(value.bstrVal));
    const auto font = reinterpret_cast<HFONT>(SendMessageW(Field(), WM_GETFONT, 0, 0));
    LOGFONTW made{};
    ASSERT_NE(GetObjectW(font, sizeof made, &made), 0);
    EXPECT_EQ(CompareStringOrdinal(face.c_str(), -1, made.lfFaceName, -1, TRUE), CSTR_EQUAL)
        << Narrow(face) << " against " << Narrow(made.lfFaceName);

    Range found;
    uia::TextRangeProvider* match = nullptr;
    ASSERT_EQ(all->FindAttribute(uia::FontNameAttribute, value, FALSE, &match), S_OK);
    found.reset(match);
    ASSERT_TRUE(found);
    EXPECT_EQ(TextOf(found.get()), L"17 英寸");
    VariantClear(&value);

    ASSERT_EQ(all->GetAttributeValue(uia::FontSizeAttribute, &value), S_OK);
    ASSERT_EQ(value.vt, VT_R8);
    // The font's em at 96 dots an inch, give or take the resolution.
    const double pixels = made.lfHeight < 0 ? -made.lfHeight : made.lfHeight;
    EXPECT_GT(value.dblVal, 0.0);
    EXPECT_LE(value.dblVal, pixels * 72.0 / 96.0 + 0.5);
    VariantClear(&value);

    ASSERT_EQ(all->GetAttributeValue(uia::IsReadOnlyAttribute, &value), S_OK);
    ASSERT_EQ(value.vt, VT_BOOL);
    EXPECT_EQ(value.boolVal, VARIANT_FALSE);
    value.boolVal = VARIANT_TRUE;
    ASSERT_EQ(all->FindAttribute(uia::IsReadOnlyAttribute, value, FALSE, &match), S_OK);
    EXPECT_EQ(match, nullptr) << "nothing in the field is read-only";

    constexpr TEXTATTRIBUTEID IsItalic = 40014;
    ASSERT_EQ(all->GetAttributeValue(IsItalic, &value), S_OK);
    ASSERT_EQ(value.vt, VT_UNKNOWN);
    EXPECT_EQ(value.punkVal, static_cast<IUnknown*>(&recording_.notSupported));
    VariantClear(&value);
}

// Finding a text within a range, from either end, with or without case.
TEST_F(FieldProviderTest, TextIsFoundWithinTheRange) {
    Show(L"17 Inches, 17 inches, 17 INCHES");
    Range all = Document();
    const auto find = [&](uia::TextRangeProvider* within, const wchar_t* text, BOOL backward,
                          BOOL ignoreCase) -> std::wstring {
        BSTR wanted = SysAllocString(text);
        uia::TextRangeProvider* found = nullptr;
        const HRESULT result = within->FindText(wanted, backward, ignoreCase, &found);
        SysFreeString(wanted);
        if (FAILED(result))
            return L"(failed)";
        if (!found)
            return L"(none)";
        Range range(found);
        // Where it was found: the text from there on.
        int moved = 0;
        range->MoveEndpointByUnit(uia::EndEndpoint, static_cast<int>(TextUnit::Document), 1,
                                  &moved);
        return TextOf(range.get());
    };
    EXPECT_EQ(find(all.get(), L"inches", FALSE, FALSE), L"inches, 17 INCHES");
    EXPECT_EQ(find(all.get(), L"inches", FALSE, TRUE), L"Inches, 17 inches, 17 INCHES");
    EXPECT_EQ(find(all.get(), L"inches", TRUE, TRUE), L"INCHES");
    EXPECT_EQ(find(all.get(), L"cm", FALSE, TRUE), L"(none)");
    Range first = At(0);
    first->ExpandToEnclosingUnit(static_cast<int>(TextUnit::Word));
    EXPECT_EQ(find(first.get(), L"Inches", FALSE, FALSE), L"(none)") << "only within the range";
    EXPECT_EQ(find(all.get(), L"", FALSE, FALSE), L"(failed)");
}

// --- Lifetime ---------------------------------------------------------------------

// A range made before an edit that took text away reads what is left; once
// the window has gone, everything says the element is not there any more.
TEST_F(FieldProviderTest, RangesOutliveEditsAndTheWindow) {
    Show(L"17 inches and more");
    Range all = Document();
    Range tail = At(9);
    tail->MoveEndpointByRange(uia::EndEndpoint, all.get(), uia::EndEndpoint);
    Show(L"17 in");
    EXPECT_EQ(TextOf(all.get()), L"17 in");
    EXPECT_EQ(TextOf(tail.get()), L"");
    int moved = 0;
    EXPECT_EQ(tail->Move(static_cast<int>(TextUnit::Character), -1, &moved), S_OK);
    EXPECT_EQ(moved, -1);

    const Com<uia::ValueProvider> value = Value();
    ASSERT_TRUE(value);
    IRawElementProviderSimple* element = Element();
    const HWND field = Field();
    DestroyWindow(field);
    EXPECT_EQ(recording_.handedBack, std::vector<HWND>{field}) << "handed back as it went";

    BSTR read = nullptr;
    EXPECT_EQ(value->get_Value(&read), uia::ElementNotAvailable);
    EXPECT_EQ(all->GetText(-1, &read), uia::ElementNotAvailable);
    EXPECT_EQ(all->Move(static_cast<int>(TextUnit::Word), 1, &moved), uia::ElementNotAvailable);
    EXPECT_EQ(all->Select(), uia::ElementNotAvailable);
    VARIANT property;
    EXPECT_EQ(element->GetPropertyValue(uia::NameProperty, &property), uia::ElementNotAvailable);
    IUnknown* pattern = nullptr;
    EXPECT_EQ(element->GetPatternProvider(uia::TextPattern, &pattern), uia::ElementNotAvailable);
}

// --- Events -------------------------------------------------------------------------

std::vector<std::pair<DWORD, HWND>> selectionEvents;

void CALLBACK RecordSelectionEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG,
                                   DWORD, DWORD) {
    if (object == OBJID_CLIENT)
        selectionEvents.emplace_back(event, window);
}

// While a client listens: a typed key changes the text, the value and the
// selection; a caret moved changes the selection only.
TEST_F(FieldProviderTest, EditsAndCaretMovesAreToldWhileAClientListens) {
    ASSERT_NE(Element(), nullptr);
    SetFocus(Field());
    MSG typed{Field(), WM_CHAR, L'7', 1, 0, {}};
    system_.DeliverMessage(typed);
    EXPECT_EQ(recording_.events,
              (std::vector<EVENTID>{uia::TextChangedEvent, uia::TextSelectionChangedEvent}));
    EXPECT_EQ(recording_.changes,
              (std::vector<std::pair<PROPERTYID, std::wstring>>{{uia::ValueProperty, L"7"}}));

    recording_.events.clear();
    recording_.changes.clear();
    SendMessageW(Field(), EM_SETSEL, 0, 1);
    EXPECT_EQ(recording_.events, std::vector<EVENTID>{uia::TextSelectionChangedEvent});
    SendMessageW(Field(), EM_SETSEL, 0, 1);
    EXPECT_EQ(recording_.events.size(), 1U) << "nothing new when nothing moved";
    EXPECT_TRUE(recording_.changes.empty());
}

// Without a client listening, or before one has asked, nothing is raised:
// the field costs nothing without a reader.
TEST_F(FieldProviderTest, NothingIsRaisedWithoutAListener) {
    SetFocus(Field());
    MSG before{Field(), WM_CHAR, L'1', 1, 0, {}};
    system_.DeliverMessage(before);
    EXPECT_EQ(recording_.provider, nullptr) << "no provider until a client asks";

    recording_.listening = false;
    ASSERT_NE(Element(), nullptr);
    MSG typed{Field(), WM_CHAR, L'7', 1, 0, {}};
    system_.DeliverMessage(typed);
    SendMessageW(Field(), EM_SETSEL, 0, 1);
    Show(L"43.18");
    EXPECT_TRUE(recording_.events.empty());
    EXPECT_TRUE(recording_.changes.empty());
}

// Active Accessibility's readers hear of selection changes too.
TEST_F(FieldProviderTest, ActiveAccessibilityHearsOfSelectionChanges) {
    Show(L"17 inches");
    Pump(system_);
    const HWINEVENTHOOK hook = SetWinEventHook(
        EVENT_OBJECT_TEXTSELECTIONCHANGED, EVENT_OBJECT_TEXTSELECTIONCHANGED, nullptr,
        RecordSelectionEvent, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    selectionEvents.clear();
    SendMessageW(Field(), EM_SETSEL, 3, 9);
    Pump(system_);
    UnhookWinEvent(hook);
    EXPECT_EQ(selectionEvents,
              (std::vector<std::pair<DWORD, HWND>>{{EVENT_OBJECT_TEXTSELECTIONCHANGED, Field()}}));
}

// --- Results spoken --------------------------------------------------------------------

// After a conversion a reader hears the results at once, in one sentence
// named as the window names them, from the window it happened in; after an
// empty input, only the prompt; and nothing while no client listens.
TEST_F(FieldProviderTest, AConversionsResultsAreSpokenInOneSentence) {
    ASSERT_NE(Element(), nullptr) << "a client has looked at the window";
    const HWND window = ui::Win32HandleOf(Form());
    const auto click = [&](const char* button) {
        SendMessageW(ui::Win32ControlOf(Form(), button), BM_CLICK, 0, 0);
        Pump(system_);
    };
    const auto wide = [](const std::string& text) { return ui::win32::WideFromUtf8(text); };

    Form().Text1.SetText("17");
    click("Command1");
    ASSERT_EQ(recording_.notices.size(), 1U);
    EXPECT_EQ(recording_.notices[0].second,
              L"对角线 41.99 厘米，长 36.975 厘米，宽（高）22.44 厘米");
    EXPECT_EQ(Form().Text4.Text(), "22.44") << "as the field shows it";
    const HWND from = recording_.notices[0].first;
    EXPECT_TRUE(from == window || IsChild(window, from));

    Form().Text2.SetText("43.18");
    click("Command2");
    ASSERT_EQ(recording_.notices.size(), 2U);
    EXPECT_EQ(recording_.notices[1].second, wide(Form().Text1.Text() + " 英寸"));

    Form().Text1.SetText("");
    click("Command1");
    EXPECT_EQ(recording_.notices.size(), 2U) << "the prompt says it";

    recording_.listening = false;
    Form().Text1.SetText("17");
    click("Command1");
    EXPECT_EQ(recording_.notices.size(), 2U);
}

// --- UI Automation itself -------------------------------------------------------------

// Windows' own UI Automation is loaded when a client first asks the field,
// not before, and the field's answer is its.
TEST(FieldProviderOnDemand, UIAutomationIsLoadedWhenAClientFirstAsks) {
    ui::Win32WindowSystem system;
    ui::FormsRuntime runtime{system};
    runtime.Start<forms::Form1>();
    auto& form = runtime.DefaultInstance<forms::Form1>();
    form.Show();
    Pump(system);
    const HWND field = ui::Win32ControlOf(form, "Text1");
    SendMessageW(field, WM_CHAR, L'7', 1);
    EXPECT_EQ(system.Accessibility().AutomationIfLoaded(), nullptr);
    EXPECT_FALSE(system.Accessibility().Started());
    SendMessageW(field, WM_GETOBJECT, 0,
                 static_cast<LPARAM>(static_cast<DWORD>(uia::RootObjectId)));
    EXPECT_NE(system.Accessibility().AutomationIfLoaded(), nullptr);
    EXPECT_TRUE(system.Accessibility().Started());
}

} // namespace
} // namespace quimbel::testing
