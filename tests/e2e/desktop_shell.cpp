// Does on an X display what a desktop shell or a pager does, for the tests to
// watch how the program answers:
//
//   quimbel_e2e_desktop listen
//       prints the startup-notification messages sent on the display, one line
//       each (e.g. "remove: ID=launch-17_TIME1234"), after a first line
//       "listening"; runs until it is ended.
//   quimbel_e2e_desktop state WINDOW-ID add|remove ATOM [ATOM]
//       asks the window manager to change the window's _NET_WM_STATE, as a
//       pager or a window menu does (e.g. _NET_WM_STATE_FULLSCREEN).
//
// Exit status: 0 done; 2 usage or display error.

#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

// Startup messages come in pieces of 20 bytes, _NET_STARTUP_INFO_BEGIN then
// _NET_STARTUP_INFO, joined per sending window up to the closing NUL.
int Listen(Display* display) {
    const Atom begin = XInternAtom(display, "_NET_STARTUP_INFO_BEGIN", False);
    const Atom more = XInternAtom(display, "_NET_STARTUP_INFO", False);
    // Launchees send them to the root window with PropertyChangeMask.
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
    XSync(display, False);
    std::printf("listening\n");
    std::fflush(stdout);

    std::map<Window, std::string> pending;
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != ClientMessage || event.xclient.format != 8)
            continue;
        const XClientMessageEvent& message = event.xclient;
        if (message.message_type != begin && message.message_type != more)
            continue;
        std::string& text = pending[message.window];
        if (message.message_type == begin)
            text.clear();
        const char* bytes = message.data.b;
        const void* end = std::memchr(bytes, '\0', 20);
        text.append(bytes, end ? static_cast<const char*>(end) - bytes : 20);
        if (end) {
            std::printf("%s\n", text.c_str());
            std::fflush(stdout);
            pending.erase(message.window);
        }
    }
}

// The _NET_WM_STATE client message of the window-manager hints (EWMH):
// action (0 remove, 1 add), up to two state atoms, source 2 (a pager).
int ChangeState(Display* display, const char* id, const char* action, const char* first,
                const char* second) {
    char* end = nullptr;
    errno = 0;
    const unsigned long window = std::strtoul(id, &end, 0);
    if (errno != 0 || end == id || *end != '\0' || window == 0) {
        std::fprintf(stderr, "desktop: bad window id '%s'\n", id);
        return 2;
    }
    long add = -1;
    if (std::strcmp(action, "add") == 0)
        add = 1;
    else if (std::strcmp(action, "remove") == 0)
        add = 0;
    if (add < 0) {
        std::fprintf(stderr, "desktop: the action is add or remove, not '%s'\n", action);
        return 2;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = add;
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, first, False));
    event.xclient.data.l[2] = second ? static_cast<long>(XInternAtom(display, second, False)) : 0;
    event.xclient.data.l[3] = 2;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display, False);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    const bool listen = argc == 2 && std::strcmp(argv[1], "listen") == 0;
    const bool state = (argc == 5 || argc == 6) && std::strcmp(argv[1], "state") == 0;
    if (!listen && !state) {
        std::fprintf(stderr,
                     "usage: %s listen\n"
                     "       %s state WINDOW-ID add|remove ATOM [ATOM]\n",
                     argv[0], argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "desktop: cannot open display\n");
        return 2;
    }
    if (listen)
        return Listen(display);
    const int status =
        ChangeState(display, argv[2], argv[3], argv[4], argc == 6 ? argv[5] : nullptr);
    XCloseDisplay(display);
    return status;
}
