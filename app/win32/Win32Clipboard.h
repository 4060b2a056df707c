#pragma once

// The clipboard is every program's: it is opened only to carry out the user's
// own copy, cut or paste, and closed on every way out, failures included.
// Likewise a global memory block is unlocked on every way out.

#include "Win32Support.h"

#include <cwchar>
#include <memory>
#include <string_view>
#include <type_traits>

namespace quimbel::ui::win32 {

// The clipboard, open for as long as this lives, if Windows let us open it.
class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    ~OpenedClipboard() {
        if (open_)
            CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;

    explicit operator bool() const { return open_; }

private:
    bool open_;
};

// A global memory block, locked for as long as this lives.
template <class T> class LockedGlobal {
public:
    explicit LockedGlobal(HGLOBAL memory)
        : memory_(memory), data_(memory ? static_cast<T*>(GlobalLock(memory)) : nullptr) {}
    ~LockedGlobal() {
        if (data_)
            GlobalUnlock(memory_);
    }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;

    explicit operator bool() const { return data_ != nullptr; }
    T* Get() const { return data_; }
    // How many T the block holds.
    std::size_t Count() const { return data_ ? GlobalSize(memory_) / sizeof(T) : 0; }

private:
    HGLOBAL memory_;
    T* data_;
};

struct GlobalFreer {
    void operator()(HGLOBAL memory) const { GlobalFree(memory); }
};
// A global memory block of ours, until the clipboard takes it.
using UniqueGlobal = std::unique_ptr<std::remove_pointer_t<HGLOBAL>, GlobalFreer>;

// Calls `use` with the clipboard's text, while the clipboard is open and the
// text locked: only as long as `use` takes. False when there was no text to
// read, or another program held the clipboard.
template <class Use> bool WithClipboardText(HWND owner, Use&& use) {
    const OpenedClipboard clipboard(owner);
    if (!clipboard)
        return false;
    const LockedGlobal<const wchar_t> text(GetClipboardData(CF_UNICODETEXT));
    if (!text)
        return false;
    use(std::wstring_view(text.Get(), wcsnlen(text.Get(), text.Count())));
    return true;
}

// `text` as the clipboard's only content, owned by `owner`; false when the
// clipboard would not take it.
bool SetClipboardText(HWND owner, std::wstring_view text);

} // namespace quimbel::ui::win32
