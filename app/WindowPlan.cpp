#include "WindowPlan.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace quimbel::ui {
namespace {

bool TakesFocus(ControlKind kind) {
    return kind == ControlKind::TextBox || kind == ControlKind::CommandButton;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0)
            text += '\n';
        text += lines[i];
    }
    return text;
}

bool IsLatinLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Where a control lies in its window's client area, in twips.
Rect InWindow(const WindowPlan& plan, const ControlPlan& control) {
    Rect rect = control.twips;
    for (int container = control.container; container != NoControl;
         container = plan.controls[static_cast<std::size_t>(container)].container) {
        rect.left += plan.controls[static_cast<std::size_t>(container)].twips.left;
        rect.top += plan.controls[static_cast<std::size_t>(container)].twips.top;
    }
    return rect;
}

// The label that names a field on screen: on its line (the label's middle
// within the field's height) and starting to its left (it may reach a little
// under the field), the nearest such.
int LabelOf(const WindowPlan& plan, int field) {
    const Rect at = InWindow(plan, plan.controls[static_cast<std::size_t>(field)]);
    int found = NoControl;
    int foundRight = 0;
    for (std::size_t i = 0; i < plan.controls.size(); ++i) {
        if (plan.controls[i].Kind() != ControlKind::Label || plan.controls[i].caption.empty())
            continue;
        const Rect label = InWindow(plan, plan.controls[i]);
        const int middle = label.top + label.height / 2;
        const int right = label.left + label.width;
        if (middle >= at.top && middle < at.top + at.height && label.left < at.left &&
            (found == NoControl || right > foundRight)) {
            found = static_cast<int>(i);
            foundRight = right;
        }
    }
    return found;
}

void NameForAssistiveTechnology(WindowPlan& plan) {
    plan.role = plan.design->role;
    for (std::size_t i = 0; i < plan.controls.size(); ++i) {
        ControlPlan& control = plan.controls[i];
        if (control.Kind() == ControlKind::TextBox) {
            control.labelledBy = LabelOf(plan, static_cast<int>(i));
            if (control.labelledBy != NoControl) {
                ControlPlan& label = plan.controls[static_cast<std::size_t>(control.labelledBy)];
                label.labelFor = static_cast<int>(i);
                control.accessibleName = label.accessibleName;
            } else {
                // Nothing names it on screen: its tooltip says what it holds.
                control.accessibleName = control.toolTip;
            }
        }
        control.accessibleDescription = control.toolTip;
    }
    if (plan.role == WindowRole::Window)
        return;
    for (const ControlPlan& control : plan.controls) {
        if (control.Kind() != ControlKind::Label || control.accessibleName.empty())
            continue;
        if (!plan.description.empty())
            plan.description += '\n';
        plan.description += control.accessibleName;
    }
}

std::string Where(const WindowDesign& design, std::string_view control) {
    return "window \"" + std::string(design.caption) + "\", control \"" + std::string(control) +
           "\"";
}

} // namespace

bool CaptionMayMarkAccessKey(ControlKind kind) {
    return kind == ControlKind::CommandButton || kind == ControlKind::Frame ||
           kind == ControlKind::Label;
}

std::string DoubleAmpersands(std::string_view caption) {
    std::string shown;
    shown.reserve(caption.size());
    for (const char c : caption) {
        if (c == '&')
            shown += '&';
        shown += c;
    }
    return shown;
}

std::string HalveAmpersands(std::string_view shown) {
    std::string caption;
    caption.reserve(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        caption += shown[i];
        if (shown[i] == '&' && i + 1 < shown.size() && shown[i + 1] == '&')
            ++i;
    }
    return caption;
}

std::vector<std::string> CaptionLines(std::string_view caption) {
    std::vector<std::string> lines;
    for (;;) {
        const std::size_t end = caption.find("\r\n");
        lines.emplace_back(caption.substr(0, end));
        if (end == std::string_view::npos)
            return lines;
        caption.remove_prefix(end + 2);
    }
}

std::string SpokenText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        const std::string_view trimmed =
            std::string_view(line).substr(first, line.find_last_not_of(' ') - first + 1);
        if (!text.empty() && IsLatinLetterOrDigit(text.back()) &&
            IsLatinLetterOrDigit(trimmed.front()))
            text += ' ';
        text += trimmed;
    }
    return text;
}

int WindowPlan::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].Name() == name)
            return static_cast<int>(i);
    return NoControl;
}

int WindowPlan::IndexOfKind(std::string_view name, ControlKind kind) const {
    const int index = IndexOf(name);
    if (index == NoControl)
        throw DesignError(Where(*design, name) + ": no such control");
    if (controls[static_cast<std::size_t>(index)].Kind() != kind)
        throw DesignError(Where(*design, name) + ": not of the kind asked for");
    return index;
}

WindowPlan PlanWindow(const WindowDesign& design) {
    WindowPlan plan;
    plan.design = &design;
    plan.caption = std::string(design.caption);
    plan.clientTwips = {design.left, design.top, design.clientWidth, design.clientHeight};
    plan.controls.reserve(design.controls.size());
    for (const ControlDesign& control : design.controls) {
        if (plan.IndexOf(control.name) != NoControl)
            throw DesignError(Where(design, control.name) + ": name used twice");
        int container = NoControl;
        if (!control.container.empty()) {
            container = plan.IndexOf(control.container);
            if (container == NoControl ||
                plan.controls[static_cast<std::size_t>(container)].Kind() != ControlKind::Frame)
                throw DesignError(Where(design, control.name) + ": no frame \"" +
                                  std::string(control.container) + "\" declared before it");
        }
        ControlPlan planned{.design = &control,
                            .container = container,
                            .twips = {control.left, control.top, control.width, control.height},
                            .captionLines = CaptionLines(control.caption),
                            .toolTip = std::string(control.toolTip),
                            .takesFocus = TakesFocus(control.kind)};
        planned.caption = JoinLines(planned.captionLines);
        planned.accessibleName = SpokenText(planned.captionLines);
        plan.controls.push_back(std::move(planned));
    }

    if (design.stackingFrontToBack.empty()) {
        for (std::size_t i = 0; i < plan.controls.size(); ++i)
            if (plan.controls[i].Kind() != ControlKind::Label)
                plan.frontToBack.push_back(static_cast<int>(i));
    } else {
        for (std::string_view name : design.stackingFrontToBack) {
            const int index = plan.IndexOf(name);
            if (index == NoControl ||
                plan.controls[static_cast<std::size_t>(index)].Kind() == ControlKind::Label)
                throw DesignError(Where(design, name) + ": not a windowed control to stack");
            plan.frontToBack.push_back(index);
        }
        for (std::size_t i = 0; i < plan.controls.size(); ++i)
            if (plan.controls[i].Kind() != ControlKind::Label &&
                std::find(plan.frontToBack.begin(), plan.frontToBack.end(), static_cast<int>(i)) ==
                    plan.frontToBack.end())
                throw DesignError(Where(design, plan.controls[i].Name()) +
                                  ": missing from the stacking order");
    }

    // Labels behind all windowed controls, each designed later behind the
    // ones before it.
    plan.stacking = plan.frontToBack;
    for (std::size_t i = 0; i < plan.controls.size(); ++i)
        if (plan.controls[i].Kind() == ControlKind::Label)
            plan.stacking.push_back(static_cast<int>(i));

    for (std::size_t i = 0; i < plan.controls.size(); ++i)
        if (plan.controls[i].takesFocus)
            plan.tabOrder.push_back(static_cast<int>(i));
    std::stable_sort(plan.tabOrder.begin(), plan.tabOrder.end(), [&](int a, int b) {
        return plan.controls[static_cast<std::size_t>(a)].design->tabIndex <
               plan.controls[static_cast<std::size_t>(b)].design->tabIndex;
    });
    if (!plan.tabOrder.empty())
        plan.firstFocus = plan.tabOrder.front();
    NameForAssistiveTechnology(plan);
    return plan;
}

Rect FirstPosition(const Rect& client, const Rect& workArea) {
    Rect rect{workArea.left + client.left, workArea.top + client.top, client.width, client.height};
    rect.left =
        std::max(workArea.left, std::min(rect.left, workArea.left + workArea.width - rect.width));
    rect.top =
        std::max(workArea.top, std::min(rect.top, workArea.top + workArea.height - rect.height));
    return rect;
}

std::vector<std::string> InstalledFamilies(std::span<const char* const> families,
                                           const std::function<bool(std::string_view)>& installed) {
    std::vector<std::string> found;
    for (const char* family : families)
        if (installed(family))
            found.emplace_back(family);
    if (found.empty())
        found.assign(families.begin(), families.end());
    return found;
}

std::span<const char* const> DefaultFontFamilies() {
    // Windows' own Chinese UI faces first, then those a Linux desktop (or
    // Wine on one) has; SimSun is on every Chinese Windows.
    static constexpr std::array<const char*, 9> Families{"Microsoft YaHei UI",
                                                         "Microsoft YaHei",
                                                         "Noto Sans CJK SC",
                                                         "Source Han Sans SC",
                                                         "SimSun",
                                                         "WenQuanYi Micro Hei",
                                                         "WenQuanYi Zen Hei",
                                                         "Droid Sans Fallback",
                                                         "宋体"};
    return Families;
}

CaptionLayout LayOutCaption(double lineSpacing, double inkTop, double inkBottom,
                            std::size_t lineCount, int height) {
    const double pitch =
        std::min(lineSpacing, double(height) / double(std::max<std::size_t>(lineCount, 1)));
    inkTop = std::min(inkTop, 0.0);
    inkBottom = std::max(inkBottom, 0.0);
    return {pitch, (pitch - (inkBottom - inkTop)) / 2 - inkTop};
}

namespace {

// Pixels at 96 dots an inch scaled to `dpi`, rounded.
int Scaled(int pixels, int dpi) { return (pixels * dpi + DesignDpi / 2) / DesignDpi; }

double WidestLine(const FontMeasure& font) {
    double widest = 0;
    for (const LineMeasure& line : font.lines)
        widest = std::max(widest, line.advance);
    return widest;
}

bool LabelFits(const FontMeasure& font, int width, int height) {
    double inkTop = 0;
    double inkBottom = 0;
    for (const LineMeasure& line : font.lines) {
        if (line.inkBottom <= line.inkTop)
            continue;
        inkTop = std::min(inkTop, line.inkTop);
        inkBottom = std::max(inkBottom, line.inkBottom);
    }
    const CaptionLayout layout =
        LayOutCaption(font.lineSpacing, inkTop, inkBottom, font.lines.size(), height);
    for (std::size_t i = 0; i < font.lines.size(); ++i) {
        const LineMeasure& line = font.lines[i];
        if (line.advance > width)
            return false;
        if (line.inkBottom <= line.inkTop)
            continue;
        const double baseline = layout.firstBaseline + double(i) * layout.pitch;
        if (baseline + line.inkTop < 0 || baseline + line.inkBottom > height)
            return false;
    }
    return font.lines.size() < 2 || inkBottom - inkTop <= layout.pitch;
}

} // namespace

bool CaptionFits(ControlKind kind, const FontMeasure& font, int width, int height, int dpi) {
    switch (kind) {
    case ControlKind::Label:
        return LabelFits(font, width, height);
    case ControlKind::CommandButton: {
        const int margin = Scaled(4, dpi);
        return double(font.lines.size()) * font.height <= height - 2 * margin &&
               WidestLine(font) <= width - 2 * margin;
    }
    case ControlKind::Frame:
        return font.height <= height && WidestLine(font) <= width - 2 * Scaled(8, dpi);
    case ControlKind::TextBox:
        return 2 * font.height <= height - 2 * Scaled(2, dpi);
    }
    return true;
}

FittedFonts FitFonts(const WindowPlan& plan, int dpi, const MeasureFont& measure) {
    const int minimum = FontPixelsAt(MinimumFontPoints, dpi);
    const auto fits = [&](const FontRequest& font, std::size_t control) {
        const ControlPlan& planned = plan.controls[control];
        const Rect rect = PixelsAt(planned.twips, dpi);
        return CaptionFits(planned.Kind(), measure(font, planned.captionLines), rect.width,
                           rect.height, dpi);
    };
    // The size a font ends at: its first, or a pixel at a time smaller while
    // `fitsAll` does not hold, but no smaller than the minimum.
    const auto fitted = [&](FontRequest font, const auto& fitsAll) {
        while (font.pixels > minimum && !fitsAll(font))
            --font.pixels;
        return font.pixels;
    };

    FittedFonts fonts{0, std::vector<int>(plan.controls.size(), 0)};
    fonts.windowPixels =
        fitted(FontRequest{DefaultFontFamilies(), FontPixelsAt(WindowFontPoints, dpi), false},
               [&](const FontRequest& font) {
                   for (std::size_t i = 0; i < plan.controls.size(); ++i)
                       if (!plan.controls[i].design->font && !fits(font, i))
                           return false;
                   return true;
               });
    for (std::size_t i = 0; i < plan.controls.size(); ++i)
        if (const FontDesign* own = plan.controls[i].design->font)
            fonts.ownPixels[i] =
                fitted(FontRequest{own->families, FontPixelsAt(own->points, dpi), own->bold},
                       [&](const FontRequest& font) { return fits(font, i); });
    return fonts;
}

bool ExtendsCharacter(char32_t codePoint) {
    struct Range {
        char32_t first;
        char32_t last;
    };
    // In order, for the search below.
    static constexpr Range Extending[] = {
        {0x0300, 0x036F},   {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x064B, 0x065F},
        {0x1AB0, 0x1AFF},   {0x1DC0, 0x1DFF}, {0x200D, 0x200D}, {0x20D0, 0x20FF},
        {0x3099, 0x309A},   {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0x1F3FB, 0x1F3FF},
        {0xE0100, 0xE01EF},
    };
    if (codePoint < 0x0300)
        return false;
    const auto range = std::lower_bound(std::begin(Extending), std::end(Extending), codePoint,
                                        [](const Range& r, char32_t c) { return r.last < c; });
    return range != std::end(Extending) && range->first <= codePoint && range->last >= codePoint;
}

} // namespace quimbel::ui
