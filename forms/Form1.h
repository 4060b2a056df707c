#pragma once

#include "Forms.h"
#include "Steps.h"

namespace quimbel {

// The main converter window: inches in Text1, the diagonal in centimetres in
// Text2, the long and short sides in Text3 and Text4.
class Form1 final : public forms::Form {
public:
    static const forms::WindowDesign Layout;

    explicit Form1(forms::FormsRuntime& runtime);

    forms::TextBox Text1{*this, "Text1"};
    forms::TextBox Text2{*this, "Text2"};
    forms::TextBox Text3{*this, "Text3"};
    forms::TextBox Text4{*this, "Text4"};
    forms::CommandButton Command1{*this, "Command1"};
    forms::CommandButton Command2{*this, "Command2"};
    forms::CommandButton Command3{*this, "Command3"};
    forms::CommandButton Command4{*this, "Command4"};
    forms::Label Label1{*this, "Label1"};
    forms::Label Label2{*this, "Label2"};
    forms::Label Label3{*this, "Label3"};
    forms::Label Label4{*this, "Label4"};
    forms::Label Label5{*this, "Label5"};
    forms::Frame Frame1{*this, "Frame1"};

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
    void EmptyFields(forms::OnStepFailure mode);
    template <class Prompt> void ConvertOrPrompt(bool (Form1::*convert)());
};

} // namespace quimbel
