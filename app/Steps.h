#pragma once

// Handlers are written as a sequence of steps. In the resume-next mode a step
// that fails is abandoned (its temporaries go with the stack) and the next
// step runs; otherwise the failure ends the handler and reaches the dispatcher.

namespace quimbel::forms {

enum class OnStepFailure { ResumeNext, EndHandler };

namespace detail {
template <class Step> void RunStep(OnStepFailure mode, Step& step) {
    if (mode == OnStepFailure::EndHandler) {
        step();
        return;
    }
    try {
        step();
    } catch (...) {
        // Skipped on purpose: the step's result stays absent.
    }
}
} // namespace detail

template <class... Steps> void RunSteps(OnStepFailure mode, Steps&&... steps) {
    (detail::RunStep(mode, steps), ...);
}

} // namespace quimbel::forms
