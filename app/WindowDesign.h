#pragma once

// A window's design as plain data, so each window reads like its table:
// caption, client area and position, then one row per control.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quimbel::ui {

// All geometry is in twips, 1/1440 inch: the designed proportions hold on
// any screen scale (WindowPlan.h turns them into pixels).

enum class ControlKind { Label, TextBox, CommandButton, Frame };

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// A face of its own for one control; the families are tried in order.
struct FontDesign {
    std::span<const char* const> families;
    int points;
    bool bold;
};

// Where a control lives: the window itself, or a frame by name.
inline constexpr std::string_view OnWindow{};

struct ControlDesign {
    std::string_view name;
    ControlKind kind;
    std::string_view container; // OnWindow, or the name of a frame
    int left;
    int top;
    int width;
    int height;
    std::string_view caption; // UTF-8; "\r\n" separates lines
    std::string_view toolTip;
    int tabIndex;
    std::optional<Rgb> backColor = {};
    std::optional<Rgb> foreColor = {};
    const FontDesign* font = nullptr;
};

// What a window is to assistive technology: the program's own window, a
// dialog, or a dialog that tells the user something (a message box), whose
// text is announced as it opens.
enum class WindowRole { Window, Dialog, Alert };

struct WindowDesign {
    std::string_view caption;
    int clientWidth;
    int clientHeight;
    int left; // screen position of the client area
    int top;
    std::span<const ControlDesign> controls;
    // Controls that are windows of their own, front to back. Empty: they
    // stack in the order of `controls`, first in front.
    std::span<const std::string_view> stackingFrontToBack = {};
    WindowRole role = WindowRole::Window;
};

// Checks a control table can be built as it stands, for a static_assert next
// to it: names unique, every container a frame declared before the controls
// it holds, every edge on a whole pixel at the design resolution (15 twips),
// TabIndex values unique.
constexpr bool IsWellFormed(std::span<const ControlDesign> controls) {
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlDesign& c = controls[i];
        for (int twips : {c.left, c.top, c.width, c.height})
            if (twips % 15 != 0 || twips < 0)
                return false;
        bool containerFound = c.container.empty();
        for (std::size_t j = 0; j < i; ++j) {
            if (controls[j].name == c.name || controls[j].tabIndex == c.tabIndex)
                return false;
            if (controls[j].name == c.container && controls[j].kind == ControlKind::Frame)
                containerFound = true;
        }
        if (!containerFound || c.name.empty())
            return false;
    }
    return true;
}

} // namespace quimbel::ui
