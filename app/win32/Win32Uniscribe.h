#pragma once

// The field's questions of a text answered by Windows' own text services
// (Uniscribe, usp10.dll): where a row may break and where the caret may stop.

#include "Win32FieldModel.h"

#include <windows.h>

#include <usp10.h>

#include <vector>

namespace quimbel::ui::win32 {

// Items the line as ScriptItemize does, then asks ScriptBreak of each item
// whole, as its documentation asks.
class UniscribeAnalysis final : public TextAnalysis {
public:
    void Analyse(std::wstring_view line, std::uint8_t* flags) override;

private:
    std::vector<SCRIPT_ITEM> items_;
    std::vector<SCRIPT_LOGATTR> attributes_;
    std::vector<WORD> types_;
};

} // namespace quimbel::ui::win32
