// Asks a top-level window to close the way a window manager does: a
// WM_DELETE_WINDOW message, honoured only if the window lists that protocol.
// The end-to-end test runs without a window manager, so it sends this itself.
//
//   quimbel_e2e_send_close WINDOW-ID
//
// Exit status: 0 sent; 1 the window does not take WM_DELETE_WINDOW; 2 usage,
// display or X error (no such window).

#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

bool xError = false;

// Xlib's default handler ends the process with status 1, which would read as
// "the window does not take the message"; a vanished window is a failure of
// its own.
int NoteError(Display*, XErrorEvent* error) {
    xError = true;
    std::fprintf(stderr, "send_close: X error %d\n", static_cast<int>(error->error_code));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WINDOW-ID\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long id = std::strtoul(argv[1], &end, 0);
    if (errno != 0 || end == argv[1] || *end != '\0' || id == 0) {
        std::fprintf(stderr, "send_close: bad window id '%s'\n", argv[1]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "send_close: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(NoteError);
    const Window window = id;
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

    // A window manager only sends the message to a window that asked for it;
    // otherwise it would kill the client, which is not what is under test.
    Atom* listed = nullptr;
    int count = 0;
    bool takesDelete = false;
    if (XGetWMProtocols(display, window, &listed, &count)) {
        for (int i = 0; i < count; ++i)
            takesDelete = takesDelete || listed[i] == deleteWindow;
        XFree(listed);
    }
    XSync(display, False);
    if (xError) {
        XCloseDisplay(display);
        return 2;
    }
    if (!takesDelete) {
        std::fprintf(stderr, "send_close: window 0x%lx does not list WM_DELETE_WINDOW\n", id);
        XCloseDisplay(display);
        return 1;
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return xError ? 2 : 0;
}
