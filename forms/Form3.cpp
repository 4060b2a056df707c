#include "Form3.h"

namespace quimbel {

const forms::WindowDesign Form3::Layout{Caption, ClientWidth, ClientHeight,
                                        Left,    5445,        ControlTable};

} // namespace quimbel
