#pragma once

// Handlers are written as a sequence of steps. In the resume-next mode a step
// that fails is abandoned (its temporaries go with the stack) and the next
// step runs; otherwise the failure ends the handler and reaches the dispatcher.
// A programming error (std::logic_error: a design that names no such control,
// say) is never skipped: it ends the handler and is reported, so it cannot
// pass as a designed failure.

#include <stdexcept>

namespace quimbel::ui {

enum class OnStepFailure { ResumeNext, EndHandler };

namespace detail {
template <class Step> void RunStep(OnStepFailure mode, Step& step) {
    if (mode == OnStepFailure::EndHandler) {
        step();
        return;
    }
    try {
        step();
    } catch (const std::logic_error&) {
        throw;
    } catch (...) {
        // Skipped on purpose: the step's result stays absent.
    }
}
} // namespace detail

template <class... Steps> void RunSteps(OnStepFailure mode, Steps&&... steps) {
    (detail::RunStep(mode, steps), ...);
}

} // namespace quimbel::ui
