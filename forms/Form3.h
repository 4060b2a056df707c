#pragma once

#include "MissingInputPrompt.h"

namespace quimbel::forms {

// Tells that the centimetre field (Text2) of the main window is empty.
class Form3 final : public MissingInputPrompt {
public:
    static const ui::WindowDesign Layout;
    explicit Form3(ui::FormsRuntime& runtime) : MissingInputPrompt(runtime, Layout) {}

private:
    static constexpr auto ControlTable = Controls("你还未输入厘米的数据，请输入！");
    static_assert(ui::IsWellFormed(ControlTable));
};

} // namespace quimbel::forms
