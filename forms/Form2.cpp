#include "Form2.h"

namespace quimbel::forms {

const ui::WindowDesign Form2::Layout{.caption = Caption,
                                     .clientWidth = ClientWidth,
                                     .clientHeight = ClientHeight,
                                     .left = Left,
                                     .top = 5580,
                                     .controls = ControlTable,
                                     .role = ui::WindowRole::Alert};

} // namespace quimbel::forms
