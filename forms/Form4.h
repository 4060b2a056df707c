#pragma once

#include "Forms.h"

namespace quimbel::forms {

// The welcome dialog, shown once at start-up while the main window waits
// hidden; OK opens the main window.
class Form4 final : public ui::Form {
public:
    static const ui::WindowDesign Layout;
    // The welcome line's own face: SimSun, or another Song face where it is missing.
    static const ui::FontDesign WelcomeFont;

    explicit Form4(ui::FormsRuntime& runtime);

    ui::Label Label1{*this, "Label1"};
    ui::CommandButton Command1{*this, "Command1"};
    ui::Label Label2{*this, "Label2"};
    ui::Label Label3{*this, "Label3"};

    void OnCommand1Click();

protected:
    void ConnectHandlers() override;
    void OnCloseRequested() override;
};

} // namespace quimbel::forms
