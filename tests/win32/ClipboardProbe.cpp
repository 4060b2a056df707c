// Another program that wants the clipboard: tries once to open it, and exits
// 0 when it could, 1 when someone else holds it open.

#include <windows.h>

int main() {
    if (!OpenClipboard(nullptr))
        return 1;
    CloseClipboard();
    return 0;
}
