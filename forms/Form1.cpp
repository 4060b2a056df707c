#include "Form1.h"

#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "QuimbelVersion.h"
#include "SizeConversion.h"

#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace quimbel::forms {
namespace {

using ui::ControlDesign;
using ui::OnWindow;
using enum ui::ControlKind;

// clang-format off
constexpr std::array<ControlDesign, 14> Controls{{
    // name       kind           container  Left  Top   Width Height caption / tooltip / TabIndex
    {"Label2", Label, OnWindow, 240, 240, 1695, 255, "英寸（in）（吋）：", "英寸（in）（吋）", 7},
    {"Text1", TextBox, OnWindow, 1920, 240, 1575, 615, "", "输入英寸数据", 0},
    {"Command1", CommandButton, OnWindow, 3840, 240, 1455, 615, "英寸换算厘米", "英寸换算厘米", 2},
    {"Command3", CommandButton, OnWindow, 5640, 240, 1455, 615, "清除", "清除", 4},
    {"Label1", Label, OnWindow, 240, 1200, 1095, 255, "厘米（cm）：", "厘米（cm）", 6},
    {"Text2", TextBox, OnWindow, 1920, 1200, 1575, 615, "", "输入厘米数据", 1},
    {"Command2", CommandButton, OnWindow, 3840, 1200, 1455, 615, "厘米换算英寸", "厘米换算英寸", 3},
    {"Command4", CommandButton, OnWindow, 5640, 1200, 1455, 615, "退出", "退出", 5},
    {"Frame1", Frame, OnWindow, 120, 2040, 3615, 2175, "长、宽（高）（cm）：", "长、宽（高）（cm）", 11},
    {"Label4", Label, "Frame1", 120, 360, 975, 255, "长（cm）：", "长（cm）", 13},
    {"Label5", Label, "Frame1", 120, 1320, 1455, 255, "宽（高）（cm）：", "宽（高）（cm）", 12},
    {"Text3", TextBox, OnWindow, 1920, 2400, 1575, 615, "", "长", 9},
    {"Text4", TextBox, OnWindow, 1920, 3360, 1575, 615, "", "宽（高）", 10},
    {"Label3", Label, OnWindow, 3960, 2160, 3135, 2055,
     "\r\n"
     "此软件为各种显示屏英寸尺寸与厘米尺\r\n\r\n"
     "寸之间的换算，换算之后得到的厘米尺\r\n\r\n"
     "寸为显示屏的对角线、长、宽（高）的\r\n\r\n"
     "长度（换算时请注意单位）（长、宽只\r\n\r\n"
     "为厘米的换算，英寸不换算）",
     "", 8, ui::Rgb{0, 255, 255}, ui::Rgb{0, 0, 0}},
}};
// clang-format on

static_assert(ui::IsWellFormed(Controls));

// Text3 and Text4 lie on the frame, so they stack above it.
constexpr std::array<std::string_view, 9> Stacking{
    "Text4", "Text3", "Command4", "Command3", "Command2", "Command1", "Text2", "Text1", "Frame1"};

double NumberIn(const ui::TextBox& field) {
    // A reading beyond the double range leaves the number absent: it counts as 0.
    return NumberFromText(field.Text()).value_or(0.0);
}

void Write(const ui::TextBox& field, std::optional<double> value) {
    field.SetText(TextFromNumber(value));
}

// The tool tip that names a control in the design.
std::string_view ToolTipOf(std::string_view control) {
    for (const ControlDesign& design : Controls)
        if (design.name == control)
            return design.toolTip;
    return {};
}

// What a screen reader hears after a conversion, the results in one
// sentence, as the window names them: the information label calls the first
// the diagonal, the sides go by their fields' tool tips. The numbers are the
// fields' texts as shown; a field left empty is left out.
struct SpokenResult {
    std::string_view name;
    std::string number;
    std::string_view unit;
};

std::string Sentence(std::initializer_list<SpokenResult> results) {
    std::string sentence;
    for (const SpokenResult& result : results) {
        if (result.number.empty())
            continue;
        if (!sentence.empty())
            sentence += "，";
        sentence += result.name;
        // No space after a full-width parenthesis: it keeps its own.
        if (!result.name.empty() && !result.name.ends_with("）"))
            sentence += ' ';
        sentence += result.number;
        sentence += ' ';
        sentence += result.unit;
    }
    return sentence;
}

constexpr std::string_view Diagonal = "对角线";
constexpr std::string_view Centimetres = "厘米";
constexpr std::string_view Inches = "英寸";

} // namespace

const ui::WindowDesign Form1::Layout{.caption = ProductTitle,
                                     .clientWidth = 7350,
                                     .clientHeight = 4470,
                                     .left = 2835,
                                     .top = 2910,
                                     .controls = Controls,
                                     .stackingFrontToBack = Stacking};

Form1::Form1(ui::FormsRuntime& runtime) : Form(runtime, Layout) {}

void Form1::ConnectHandlers() {
    OnClick(Command1.Name(), &Form1::OnCommand1Click);
    OnClick(Command2.Name(), &Form1::OnCommand2Click);
    OnClick(Command3.Name(), &Form1::OnCommand3Click);
    OnClick(Command4.Name(), &Form1::OnCommand4Click);
}

// Each step stands on a line of its own, as a unit of the resume-next mode.
// clang-format off
void Form1::EmptyFields(ui::OnStepFailure mode) {
    RunSteps(mode,
        [&] { Text1.SetText({}); },
        [&] { Text2.SetText({}); },
        [&] { Text3.SetText({}); },
        [&] { Text4.SetText({}); });
}

bool Form1::ConvertFromInches() {
    double inches = 0.0;
    std::optional<double> diagonal;
    std::optional<double> longSide;
    std::optional<double> shortSide;
    bool inputEmpty = false;
    RunSteps(
        ui::OnStepFailure::ResumeNext,
        [&] { inches = NumberIn(Text1); },
        [&] { diagonal = SideCentimetres(inches, DiagonalCmAtReference); },
        [&] { longSide = SideCentimetres(inches, LongSideCmAtReference); },
        [&] { shortSide = SideCentimetres(inches, ShortSideCmAtReference); },
        [&] { Write(Text2, diagonal); },
        [&] { Write(Text3, longSide); },
        [&] { Write(Text4, shortSide); },
        [&] { inputEmpty = Text1.Text().empty(); });
    if (!inputEmpty)
        Announce(Sentence({{Diagonal, Text2.Text(), Centimetres},
                           {ToolTipOf(Text3.Name()), Text3.Text(), Centimetres},
                           {ToolTipOf(Text4.Name()), Text4.Text(), Centimetres}}));
    return inputEmpty;
}

bool Form1::ConvertFromCentimetres() {
    double centimetres = 0.0;
    std::optional<double> inches;
    bool inputEmpty = false;
    RunSteps(
        ui::OnStepFailure::ResumeNext,
        [&] { centimetres = NumberIn(Text2); },
        [&] { inches = CentimetresToInches(centimetres); },
        [&] { Write(Text1, inches); },
        [&] { inputEmpty = Text2.Text().empty(); });
    if (!inputEmpty)
        Announce(Sentence({{{}, Text1.Text(), Inches}}));
    return inputEmpty;
}

// Runs a conversion; when its input field was empty, shows the matching prompt
// and empties the fields.
template <class Prompt> void Form1::ConvertOrPrompt(bool (Form1::*convert)()) {
    bool inputEmpty = false;
    RunSteps(
        ui::OnStepFailure::ResumeNext,
        [&] { inputEmpty = (this->*convert)(); },
        [&] {
            if (inputEmpty)
                Runtime().DefaultInstance<Prompt>().Show();
        },
        [&] {
            if (inputEmpty)
                EmptyFields(ui::OnStepFailure::ResumeNext);
        });
}

void Form1::OnCommand1Click() { ConvertOrPrompt<Form2>(&Form1::ConvertFromInches); }

void Form1::OnCommand2Click() { ConvertOrPrompt<Form3>(&Form1::ConvertFromCentimetres); }

void Form1::OnCommand3Click() { EmptyFields(ui::OnStepFailure::ResumeNext); }

void Form1::OnCommand4Click() {
    RunSteps(
        ui::OnStepFailure::ResumeNext,
        [&] { EmptyFields(ui::OnStepFailure::ResumeNext); },
        [&] { Runtime().EndProgram(); });
}

// clang-format on

void Form1::OnLoad() {
    EmptyFields(ui::OnStepFailure::EndHandler);
    // Hand over to the welcome dialog; its OK shows this window again.
    Runtime().DefaultInstance<Form4>().Show();
    Hide();
}

void Form1::OnUnload() { Runtime().EndProgram(); }

} // namespace quimbel::forms
