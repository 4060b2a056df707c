#include "MissingInputPrompt.h"

namespace quimbel::forms {

MissingInputPrompt::MissingInputPrompt(ui::FormsRuntime& runtime, const ui::WindowDesign& design)
    : Form(runtime, design) {}

void MissingInputPrompt::ConnectHandlers() {
    OnClick(Command1.Name(), &MissingInputPrompt::OnCommand1Click);
}

// OK closes this prompt and touches nothing else.
void MissingInputPrompt::OnCommand1Click() { Runtime().Unload(*this); }

} // namespace quimbel::forms
