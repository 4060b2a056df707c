#include "Form2.h"

namespace quimbel {

const forms::WindowDesign Form2::Layout{Caption, ClientWidth, ClientHeight,
                                        Left,    5580,        ControlTable};

} // namespace quimbel
