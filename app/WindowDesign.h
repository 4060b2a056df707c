#pragma once

// A window's design as plain data, so each window reads like its table:
// caption, client area and position, then one row per control.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quimbel::ui {

// All geometry is in twips; 15 twips make one logical pixel, which keeps the
// designed proportions on any screen scale.
inline constexpr int TwipsPerPixel = 15;
constexpr int PixelsFromTwips(int twips) { return twips / TwipsPerPixel; }

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
};

} // namespace quimbel::ui
