// Times how long a program takes to answer, the way a window manager tells a
// frozen window: a _NET_WM_PING message, which the program's event loop
// answers only when it gets to it. Optionally presses keys first (through the
// XTest extension, as xdotool does), so the time covers handling them.
//
//   quimbel_e2e_ping [--keys "ctrl+v ..."] [--pings N] [--timeout-ms MS] WINDOW-ID
//
// Sends N pings one after the other (default 1), each once the last one was
// answered: a program may answer a ping before it handles keys read in the
// same batch, never before those of an earlier batch. Prints the milliseconds
// from the first key press (or the first ping) to the last answer.
//
// Exit status: 0 answered; 1 no answer within the timeout (default 10000 ms);
// 2 usage, display or X error; 3 the window does not take pings; 4 keys given
// but the XTest library is missing.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <sys/select.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool xError = false;

int NoteError(Display*, XErrorEvent* error) {
    xError = true;
    std::fprintf(stderr, "ping: X error %d\n", static_cast<int>(error->error_code));
    return 0;
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The XTest library comes with xdotool; its header often does not, so the one
// function needed is looked up at run time.
using FakeKeyEvent = int (*)(Display*, unsigned int, Bool, unsigned long);

FakeKeyEvent LoadFakeKeyEvent() {
    void* library = dlopen("libXtst.so.6", RTLD_NOW);
    if (!library)
        return nullptr;
    return reinterpret_cast<FakeKeyEvent>(dlsym(library, "XTestFakeKeyEvent"));
}

std::string KeysymName(const std::string& name) {
    if (name == "ctrl")
        return "Control_L";
    if (name == "shift")
        return "Shift_L";
    if (name == "alt")
        return "Alt_L";
    return name;
}

// "ctrl+v" -> the key codes to hold down, in order.
bool KeyCodesOf(Display* display, const std::string& combo, std::vector<KeyCode>& codes) {
    std::stringstream parts(combo);
    std::string part;
    while (std::getline(parts, part, '+')) {
        const KeySym sym = XStringToKeysym(KeysymName(part).c_str());
        const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
        if (code == 0) {
            std::fprintf(stderr, "ping: no key for '%s'\n", part.c_str());
            return false;
        }
        codes.push_back(code);
    }
    return !codes.empty();
}

// Waits for the answer to ping `serial` until `deadline`.
bool AwaitAnswer(Display* display, Window root, Atom protocols, Atom ping, long serial,
                 Clock::time_point deadline) {
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.window == root &&
                event.xclient.message_type == protocols &&
                static_cast<Atom>(event.xclient.data.l[0]) == ping &&
                event.xclient.data.l[1] == serial)
                return true;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
        timeval wait{static_cast<time_t>(micros / 1000000),
                     static_cast<suseconds_t>(micros % 1000000)};
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        if (select(fd + 1, &readable, nullptr, nullptr, &wait) < 0 && errno != EINTR)
            return false;
    }
}

int Usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--keys \"ctrl+v ...\"] [--pings N] [--timeout-ms MS] WINDOW-ID\n",
                 program);
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    std::string keys;
    long pings = 1;
    long timeoutMs = 10000;
    const char* windowArgument = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--keys" && i + 1 < argc)
            keys = argv[++i];
        else if (argument == "--pings" && i + 1 < argc)
            pings = std::strtol(argv[++i], nullptr, 10);
        else if (argument == "--timeout-ms" && i + 1 < argc)
            timeoutMs = std::strtol(argv[++i], nullptr, 10);
        else if (!windowArgument && argument.rfind("--", 0) != 0)
            windowArgument = argv[i];
        else
            return Usage(argv[0]);
    }
    if (!windowArgument || pings < 1 || timeoutMs < 1)
        return Usage(argv[0]);
    char* end = nullptr;
    errno = 0;
    const unsigned long id = std::strtoul(windowArgument, &end, 0);
    if (errno != 0 || end == windowArgument || *end != '\0' || id == 0) {
        std::fprintf(stderr, "ping: bad window id '%s'\n", windowArgument);
        return 2;
    }

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "ping: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(NoteError);
    const Window window = id;
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);

    Atom* listed = nullptr;
    int count = 0;
    bool takesPing = false;
    if (XGetWMProtocols(display, window, &listed, &count)) {
        for (int i = 0; i < count; ++i)
            takesPing = takesPing || listed[i] == ping;
        XFree(listed);
    }
    XSync(display, False);
    if (xError)
        return 2;
    if (!takesPing) {
        std::fprintf(stderr, "ping: window 0x%lx does not list _NET_WM_PING\n", id);
        return 3;
    }
    // The answer goes to the root window, masked for the window manager's
    // redirect and for structure (Qt) or substructure (most others) notices;
    // any client may listen for the notices.
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);

    std::vector<std::vector<KeyCode>> combos;
    std::stringstream words(keys);
    std::string word;
    while (words >> word) {
        combos.emplace_back();
        if (!KeyCodesOf(display, word, combos.back()))
            return 2;
    }
    FakeKeyEvent fakeKey = combos.empty() ? nullptr : LoadFakeKeyEvent();
    if (!combos.empty() && !fakeKey) {
        std::fprintf(stderr, "ping: cannot load XTestFakeKeyEvent from libXtst.so.6\n");
        return 4;
    }

    XSync(display, False);
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::milliseconds(timeoutMs);
    for (const auto& codes : combos) {
        for (const KeyCode code : codes)
            fakeKey(display, code, True, CurrentTime);
        for (auto code = codes.rbegin(); code != codes.rend(); ++code)
            fakeKey(display, *code, False, CurrentTime);
    }
    for (long serial = 1; serial <= pings; ++serial) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(ping);
        event.xclient.data.l[1] = serial;
        event.xclient.data.l[2] = static_cast<long>(window);
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
        if (!AwaitAnswer(display, root, protocols, ping, serial, deadline)) {
            std::printf("%.1f\n", MillisecondsSince(start));
            std::fprintf(stderr, "ping: no answer within %ld ms\n", timeoutMs);
            XCloseDisplay(display);
            return 1;
        }
    }
    std::printf("%.1f\n", MillisecondsSince(start));
    XCloseDisplay(display);
    return xError ? 2 : 0;
}
