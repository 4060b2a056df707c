#pragma once

// What each window and control says to assistive technology, as a screen
// reader user hears it: one table for the layer's plan and both back ends.

#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"

#include <array>
#include <string_view>

namespace quimbel::testing {

enum class AccessibleRole { Window, Dialog, Alert, StaticText, EditableText, PushButton, Grouping };

struct AccessibleWindow {
    const ui::WindowDesign* design;
    AccessibleRole role;
    std::string_view name;
    // What is announced as it opens.
    std::string_view description;
};

struct AccessibleControl {
    const ui::WindowDesign* design;
    std::string_view control;
    AccessibleRole role;
    std::string_view name;
    std::string_view description;
    // The control that names it on screen, if any.
    std::string_view labelledBy;
};

inline const std::array<AccessibleWindow, 4> AccessibleWindows{{
    {&forms::Form1::Layout, AccessibleRole::Window, "Quimbel V2.3", ""},
    {&forms::Form2::Layout, AccessibleRole::Alert, "提示", "你还未输入英寸的数据，请输入！"},
    {&forms::Form3::Layout, AccessibleRole::Alert, "提示", "你还未输入厘米的数据，请输入！"},
    {&forms::Form4::Layout, AccessibleRole::Dialog, "Quimbel V2.3",
     "欢迎使用 Quimbel V2.3\n版权所有 © 2026\n开发：Quimbel 开发组"},
}};

// clang-format off
inline const std::array<AccessibleControl, 22> AccessibleControls{{
    {&forms::Form1::Layout, "Label2", AccessibleRole::StaticText, "英寸（in）（吋）：", "英寸（in）（吋）", ""},
    {&forms::Form1::Layout, "Text1", AccessibleRole::EditableText, "英寸（in）（吋）：", "输入英寸数据", "Label2"},
    {&forms::Form1::Layout, "Command1", AccessibleRole::PushButton, "英寸换算厘米", "英寸换算厘米", ""},
    {&forms::Form1::Layout, "Command3", AccessibleRole::PushButton, "清除", "清除", ""},
    {&forms::Form1::Layout, "Label1", AccessibleRole::StaticText, "厘米（cm）：", "厘米（cm）", ""},
    {&forms::Form1::Layout, "Text2", AccessibleRole::EditableText, "厘米（cm）：", "输入厘米数据", "Label1"},
    {&forms::Form1::Layout, "Command2", AccessibleRole::PushButton, "厘米换算英寸", "厘米换算英寸", ""},
    {&forms::Form1::Layout, "Command4", AccessibleRole::PushButton, "退出", "退出", ""},
    {&forms::Form1::Layout, "Frame1", AccessibleRole::Grouping, "长、宽（高）（cm）：", "长、宽（高）（cm）", ""},
    {&forms::Form1::Layout, "Label4", AccessibleRole::StaticText, "长（cm）：", "长（cm）", ""},
    {&forms::Form1::Layout, "Label5", AccessibleRole::StaticText, "宽（高）（cm）：", "宽（高）（cm）", ""},
    // Their tooltips lack the unit, which their labels give.
    {&forms::Form1::Layout, "Text3", AccessibleRole::EditableText, "长（cm）：", "长", "Label4"},
    {&forms::Form1::Layout, "Text4", AccessibleRole::EditableText, "宽（高）（cm）：", "宽（高）", "Label5"},
    // Its lines are broken for the layout, a word split across two of them.
    {&forms::Form1::Layout, "Label3", AccessibleRole::StaticText,
     "此软件为各种显示屏英寸尺寸与厘米尺寸之间的换算，换算之后得到的厘米尺寸为显示屏的对角线、"
     "长、宽（高）的长度（换算时请注意单位）（长、宽只为厘米的换算，英寸不换算）", "", ""},
    {&forms::Form2::Layout, "Command1", AccessibleRole::PushButton, "确定", "", ""},
    {&forms::Form2::Layout, "Label1", AccessibleRole::StaticText, "你还未输入英寸的数据，请输入！", "", ""},
    {&forms::Form3::Layout, "Command1", AccessibleRole::PushButton, "确定", "", ""},
    {&forms::Form3::Layout, "Label1", AccessibleRole::StaticText, "你还未输入厘米的数据，请输入！", "", ""},
    {&forms::Form4::Layout, "Label1", AccessibleRole::StaticText, "欢迎使用 Quimbel V2.3", "", ""},
    {&forms::Form4::Layout, "Command1", AccessibleRole::PushButton, "确定", "确定", ""},
    {&forms::Form4::Layout, "Label2", AccessibleRole::StaticText, "版权所有 © 2026", "", ""},
    {&forms::Form4::Layout, "Label3", AccessibleRole::StaticText, "开发：Quimbel 开发组", "", ""},
}};
// clang-format on

} // namespace quimbel::testing
