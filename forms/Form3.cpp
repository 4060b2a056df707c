#include "Form3.h"

namespace quimbel::forms {

const ui::WindowDesign Form3::Layout{Caption, ClientWidth, ClientHeight, Left, 5445, ControlTable};

} // namespace quimbel::forms
