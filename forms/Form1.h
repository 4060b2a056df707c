#pragma once

#include "Forms.h"
#include "Steps.h"

namespace quimbel::forms {

// The main converter window: inches in Text1, the diagonal in centimetres in
// Text2, the long and short sides in Text3 and Text4.
class Form1 final : public ui::Form {
public:
    static const ui::WindowDesign Layout;

    explicit Form1(ui::FormsRuntime& runtime);

    ui::TextBox Text1{*this, "Text1"};
    ui::TextBox Text2{*this, "Text2"};
    ui::TextBox Text3{*this, "Text3"};
    ui::TextBox Text4{*this, "Text4"};
    ui::CommandButton Command1{*this, "Command1"};
    ui::CommandButton Command2{*this, "Command2"};
    ui::CommandButton Command3{*this, "Command3"};
    ui::CommandButton Command4{*this, "Command4"};
    ui::Label Label1{*this, "Label1"};
    ui::Label Label2{*this, "Label2"};
    ui::Label Label3{*this, "Label3"};
    ui::Label Label4{*this, "Label4"};
    ui::Label Label5{*this, "Label5"};
    ui::Frame Frame1{*this, "Frame1"};

    // Reads Text1, writes the three sides into Text2..Text4; true when Text1
    // was empty.
    bool ConvertFromInches();
    // Reads Text2, writes the inches into Text1; true when Text2 was empty.
    bool ConvertFromCentimetres();

    void OnCommand1Click();
    void OnCommand2Click();
    void OnCommand3Click();
    void OnCommand4Click();

protected:
    void OnLoad() override;
    void OnUnload() override;
    void ConnectHandlers() override;

private:
    void EmptyFields(ui::OnStepFailure mode);
    template <class Prompt> void ConvertOrPrompt(bool (Form1::*convert)());
};

} // namespace quimbel::forms
