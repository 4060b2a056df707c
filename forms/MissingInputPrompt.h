#pragma once

#include "Forms.h"

#include <array>
#include <string_view>

namespace quimbel::forms {

// The two prompts telling that a conversion's input field is empty. They are
// built alike and differ only in their message and position.
class MissingInputPrompt : public ui::Form {
public:
    ui::CommandButton Command1{*this, "Command1"};
    ui::Label Label1{*this, "Label1"};

    void OnCommand1Click();

protected:
    MissingInputPrompt(ui::FormsRuntime& runtime, const ui::WindowDesign& design);
    void ConnectHandlers() override;

    static constexpr std::array<ui::ControlDesign, 2> Controls(std::string_view message) {
        using enum ui::ControlKind;
        // clang-format off
        return {{
            // name     kind           container       Left  Top  Width Height caption tooltip TabIndex
            {"Command1", CommandButton, ui::OnWindow, 1320, 960, 1215, 495, "确定", "", 0},
            {"Label1", Label, ui::OnWindow, 480, 360, 2775, 255, message, "", 1},
        }};
        // clang-format on
    }
    static constexpr std::string_view Caption = "提示";
    static constexpr int ClientWidth = 3735;
    static constexpr int ClientHeight = 1845;
    static constexpr int Left = 7995;
};

} // namespace quimbel::forms
