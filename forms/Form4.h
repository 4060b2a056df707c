#pragma once

#include "Forms.h"

namespace quimbel {

// The welcome dialog, shown once at start-up while the main window waits
// hidden; OK opens the main window.
class Form4 final : public forms::Form {
public:
    static const forms::WindowDesign Layout;
    // The welcome line's own face: SimSun, or another Song face where it is missing.
    static const forms::FontDesign WelcomeFont;

    explicit Form4(forms::FormsRuntime& runtime);

    forms::Label Label1{*this, "Label1"};
    forms::CommandButton Command1{*this, "Command1"};
    forms::Label Label2{*this, "Label2"};
    forms::Label Label3{*this, "Label3"};

    void OnCommand1Click();

protected:
    void ConnectHandlers() override;
    void OnCloseRequested() override;
};

} // namespace quimbel
