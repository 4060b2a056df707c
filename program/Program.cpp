#include "Program.h"

#include "Form1.h"
#include "Forms.h"

#include <cstdio>

namespace quimbel {

int RunProgram(ui::WindowSystem& system) {
    ui::FormsRuntime runtime(system);
    runtime.Start<forms::Form1>();
    if (runtime.HasEnded())
        return 0;
    if (!runtime.HasVisibleWindow()) {
        std::fprintf(stderr, "quimbel: no window could be opened\n");
        return 1;
    }
    return system.Run();
}

} // namespace quimbel
