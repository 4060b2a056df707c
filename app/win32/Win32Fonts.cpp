#include "Win32Private.h"

#include <algorithm>
#include <climits>

namespace quimbel::ui::win32 {
namespace {

std::wstring Folded(std::wstring name) {
    if (!name.empty())
        CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
    return name;
}

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0; // one face of it is enough
}

int Length(std::wstring_view text) {
    return static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
}

} // namespace

// Each family is asked for by name: listing every installed family costs
// tens of milliseconds and megabytes at start-up where large CJK fonts are
// installed, and the windows ask about a handful.
bool FontFamilies::Has(std::string_view family) const {
    const std::wstring name = WideFromUtf8(family);
    std::wstring key = Folded(name);
    if (const auto known = known_.find(key); known != known_.end())
        return known->second;
    bool found = false;
    if (!name.empty() && name.size() < LF_FACESIZE) {
        if (const HDC screen = GetDC(nullptr)) {
            LOGFONTW wanted{};
            wanted.lfCharSet = DEFAULT_CHARSET;
            std::copy(name.begin(), name.end(), wanted.lfFaceName);
            EnumFontFamiliesExW(screen, &wanted, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
            ReleaseDC(nullptr, screen);
        }
    }
    known_.emplace(std::move(key), found);
    return found;
}

std::wstring FirstInstalled(std::span<const char* const> families, const FontFamilies& installed) {
    const std::vector<std::string> found =
        InstalledFamilies(families, [&](std::string_view family) { return installed.Has(family); });
    return found.empty() ? std::wstring() : WideFromUtf8(found.front());
}

UniqueFont MakeFont(const std::wstring& face, int pixels, bool bold) {
    // Simplified Chinese character set: where the face is missing, the font
    // mapper stands in a face that has the Chinese characters.
    return UniqueFont(CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                  GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
}

FontMeasurer::FontMeasurer(const FontFamilies& installed)
    : installed_(installed), dc_(CreateCompatibleDC(nullptr)) {}

FontMeasurer::~FontMeasurer() {
    if (previous_)
        SelectObject(dc_.get(), previous_);
}

FontMeasure FontMeasurer::operator()(const FontRequest& request,
                                     std::span<const std::string> lines) {
    FontMeasure measure{};
    const std::wstring face = FirstInstalled(request.families, installed_);
    if (!font_ || face != face_ || request.pixels != pixels_ || request.bold != bold_) {
        UniqueFont font = MakeFont(face, request.pixels, request.bold);
        if (!dc_ || !font)
            return measure;
        const HGDIOBJ previous = SelectObject(dc_.get(), font.get());
        if (!previous_)
            previous_ = previous;
        font_.swap(font);
        face_ = face;
        pixels_ = request.pixels;
        bold_ = request.bold;
    }
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc_.get(), &metrics);
    measure.height = metrics.tmHeight;
    measure.lineSpacing = metrics.tmHeight + metrics.tmExternalLeading;
    measure.lines.reserve(lines.size());
    for (const std::string& line : lines) {
        const std::wstring wide = WideFromUtf8(line);
        const Ink ink = InkOf(dc_.get(), wide);
        measure.lines.push_back({double(TextWidth(dc_.get(), wide)), ink.top, ink.bottom});
    }
    return measure;
}

Ink InkOf(HDC dc, std::wstring_view line) {
    static constexpr MAT2 Identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    Ink ink{0, 0};
    bool any = false;
    for (const wchar_t unit : line) {
        // Spaces have no ink; the halves of a pair are no characters.
        if (unit <= L' ' || unit == 0x3000 || (unit >= 0xD800 && unit <= 0xDFFF))
            continue;
        GLYPHMETRICS metrics{};
        if (GetGlyphOutlineW(dc, unit, GGO_METRICS, &metrics, 0, nullptr, &Identity) == GDI_ERROR)
            continue;
        const double top = -double(metrics.gmptGlyphOrigin.y);
        const double bottom = top + double(metrics.gmBlackBoxY);
        ink.top = any ? std::min(ink.top, top) : top;
        ink.bottom = any ? std::max(ink.bottom, bottom) : bottom;
        any = true;
    }
    return ink;
}

CaptionLayout CaptionLayoutIn(HDC dc, std::span<const std::wstring_view> lines, int height) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    double inkTop = 0;
    double inkBottom = 0;
    for (const std::wstring_view line : lines) {
        const Ink ink = InkOf(dc, line);
        inkTop = std::min(inkTop, ink.top);
        inkBottom = std::max(inkBottom, ink.bottom);
    }
    return LayOutCaption(double(metrics.tmHeight + metrics.tmExternalLeading), inkTop, inkBottom,
                         lines.size(), height);
}

int TextWidth(HDC dc, std::wstring_view text) {
    SIZE size{};
    if (text.empty() || !GetTextExtentPoint32W(dc, text.data(), Length(text), &size))
        return 0;
    return size.cx;
}

} // namespace quimbel::ui::win32
