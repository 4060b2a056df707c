#include "Win32Clipboard.h"

#include <algorithm>

namespace quimbel::ui::win32 {

bool SetClipboardText(HWND owner, std::wstring_view text) {
    UniqueGlobal data(GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)));
    if (!data)
        return false;
    {
        const LockedGlobal<wchar_t> target(data.get());
        if (!target)
            return false;
        std::copy(text.begin(), text.end(), target.Get());
        target.Get()[text.size()] = L'\0';
    }
    const OpenedClipboard clipboard(owner);
    if (!clipboard || !EmptyClipboard())
        return false;
    if (!SetClipboardData(CF_UNICODETEXT, data.get()))
        return false;
    // The clipboard owns it now.
    data.release();
    return true;
}

} // namespace quimbel::ui::win32
