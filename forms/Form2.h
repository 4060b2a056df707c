#pragma once

#include "MissingInputPrompt.h"

namespace quimbel::forms {

// Tells that the inch field (Text1) of the main window is empty.
class Form2 final : public MissingInputPrompt {
public:
    static const ui::WindowDesign Layout;
    explicit Form2(ui::FormsRuntime& runtime) : MissingInputPrompt(runtime, Layout) {}

private:
    static constexpr auto ControlTable = Controls("你还未输入英寸的数据，请输入！");
    static_assert(ui::IsWellFormed(ControlTable));
};

} // namespace quimbel::forms
