#include "Form3.h"

namespace quimbel::forms {

const ui::WindowDesign Form3::Layout{.caption = Caption,
                                     .clientWidth = ClientWidth,
                                     .clientHeight = ClientHeight,
                                     .left = Left,
                                     .top = 5445,
                                     .controls = ControlTable,
                                     .role = ui::WindowRole::Alert};

} // namespace quimbel::forms
