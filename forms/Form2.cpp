#include "Form2.h"

namespace quimbel::forms {

const ui::WindowDesign Form2::Layout{Caption, ClientWidth, ClientHeight, Left, 5580, ControlTable};

} // namespace quimbel::forms
