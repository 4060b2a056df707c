#include "MissingInputPrompt.h"

namespace quimbel {

MissingInputPrompt::MissingInputPrompt(forms::FormsRuntime& runtime,
                                       const forms::WindowDesign& design)
    : Form(runtime, design) {}

void MissingInputPrompt::ConnectHandlers() {
    OnClick(Command1.Name(), &MissingInputPrompt::OnCommand1Click);
}

// OK closes this prompt and touches nothing else.
void MissingInputPrompt::OnCommand1Click() { Runtime().Unload(*this); }

} // namespace quimbel
