#include "Form4.h"

#include "Form1.h"
#include "QuimbelVersion.h"

#include <algorithm>

#include <array>
#include <string_view>

namespace quimbel::forms {
namespace {

using ui::OnWindow;
using enum ui::ControlKind;

// The greeting, then the product's name and version.
constexpr std::string_view Greeting = " 欢迎使用 ";
constexpr auto WelcomeText = [] {
    std::array<char, Greeting.size() + ProductTitle.size()> text{};
    std::copy(Greeting.begin(), Greeting.end(), text.begin());
    std::copy(ProductTitle.begin(), ProductTitle.end(), text.begin() + Greeting.size());
    return text;
}();
constexpr std::string_view WelcomeLine{WelcomeText.data(), WelcomeText.size()};

// A Song face for the welcome line; where SimSun is missing, another Song
// (Ming) style Simplified Chinese face, never a sans or Japanese one.
// clang-format off
constexpr std::array<const char*, 7> SongFamilies{
    "SimSun", "宋体", "NSimSun", "Noto Serif CJK SC", "Source Han Serif SC", "AR PL UMing CN",
    "AR PL SungtiL GB"};

constexpr std::array<ui::ControlDesign, 4> Controls{{
    // name     kind           container Left  Top   Width Height caption / tooltip / TabIndex
    {"Label1", Label, OnWindow, 240, 600, 4095, 255, WelcomeLine, "", 0, {}, {},
     &Form4::WelcomeFont},
    {"Command1", CommandButton, OnWindow, 1680, 1560, 1335, 615, "确定", "确定", 1},
    {"Label2", Label, OnWindow, 3000, 2760, 1575, 255, "版权所有 © 2026", "", 2},
    {"Label3", Label, OnWindow, 120, 2760, 2055, 255, "开发：Quimbel 开发组", "", 3},
}};
// clang-format on

static_assert(ui::IsWellFormed(Controls));

} // namespace

const ui::FontDesign Form4::WelcomeFont{SongFamilies, 12, true};

const ui::WindowDesign Form4::Layout{.caption = ProductTitle,
                                     .clientWidth = 4590,
                                     .clientHeight = 3030,
                                     .left = 9540,
                                     .top = 5295,
                                     .controls = Controls,
                                     .role = ui::WindowRole::Dialog};

Form4::Form4(ui::FormsRuntime& runtime) : Form(runtime, Layout) {}

void Form4::ConnectHandlers() { OnClick(Command1.Name(), &Form4::OnCommand1Click); }

void Form4::OnCommand1Click() {
    Runtime().DefaultInstance<Form1>().Show();
    Runtime().Unload(*this);
}

// Closing the dialog through its frame counts as OK: otherwise the program
// would run on with no window and no way to end it.
void Form4::OnCloseRequested() { Runtime().DefaultInstance<Form1>().Show(); }

} // namespace quimbel::forms
