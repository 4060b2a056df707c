#pragma once

#include "WindowSystem.h"

namespace quimbel {

// The whole program on a window system: loads the start-up window and runs
// the event loop until the program ends. Returns the exit status.
int RunProgram(ui::WindowSystem& system);

} // namespace quimbel
