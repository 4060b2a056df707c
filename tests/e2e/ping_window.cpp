// Times how long a program takes to answer, the way a window manager tells a
// frozen window: a _NET_WM_PING message, which the program's event loop
// answers only when it gets to it. Optionally presses keys first (through the
// XTest extension, as xdotool does), so the time covers handling them.
//
//   quimbel_e2e_ping [--keys "ctrl+v ..."] [--pings N] [--gap-ms GAP] [--timeout-ms MS] WINDOW-ID
//
// The server may deliver faked keys after a message sent later, so the pings
// go out only once the keys have reached the window with the input focus (the
// helper listens there too). Then N pings (default 1), each GAP milliseconds
// (default 5) after the last one was answered: a program may answer pings
// before it handles input read with them, and Qt's event loop runs its input
// only when no other event waits, so pings in a tight row would hold the keys
// back. Prints the milliseconds from the first key press (or the first ping)
// to the last answer, gaps included.
//
// Exit status: 0 answered; 1 no answer within the timeout (default 10000 ms);
// 2 usage, display or X error; 3 the window does not take pings; 4 keys given
// but the XTest library is missing.

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <sys/select.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
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

// "ctrl+v" -> the key codes to hold down, in order; Shift too for a symbol on
// the shifted level of its key ("numbersign").
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
        if (XkbKeycodeToKeysym(display, code, 0, 0) != sym &&
            XkbKeycodeToKeysym(display, code, 0, 1) == sym)
            codes.push_back(XKeysymToKeycode(display, XK_Shift_L));
        codes.push_back(code);
    }
    return !codes.empty();
}

// Reads events until one matches or `deadline` passes.
template <class Match> bool AwaitEvent(Display* display, Match match, Clock::time_point deadline) {
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (match(event))
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
                 "usage: %s [--keys \"ctrl+v ...\"] [--pings N] [--gap-ms GAP] [--timeout-ms MS] "
                 "WINDOW-ID\n",
                 program);
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    std::string keys;
    long pings = 1;
    long timeoutMs = 10000;
    long gapMs = 5;
    const char* windowArgument = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--keys" && i + 1 < argc)
            keys = argv[++i];
        else if (argument == "--pings" && i + 1 < argc)
            pings = std::strtol(argv[++i], nullptr, 10);
        else if (argument == "--gap-ms" && i + 1 < argc)
            gapMs = std::strtol(argv[++i], nullptr, 10);
        else if (argument == "--timeout-ms" && i + 1 < argc)
            timeoutMs = std::strtol(argv[++i], nullptr, 10);
        else if (!windowArgument && argument.rfind("--", 0) != 0)
            windowArgument = argv[i];
        else
            return Usage(argv[0]);
    }
    if (!windowArgument || pings < 1 || timeoutMs < 1 || gapMs < 0)
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
    const long rootEvents = StructureNotifyMask | SubstructureNotifyMask;
    XSelectInput(display, root, rootEvents);

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

    // The keys go to the focus window; the last release seen there means the
    // program has been sent them all.
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus == None || focus == PointerRoot)
        focus = window;
    if (!combos.empty())
        XSelectInput(display, focus, focus == root ? rootEvents | KeyReleaseMask : KeyReleaseMask);
    XSync(display, False);
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::milliseconds(timeoutMs);
    for (const auto& codes : combos) {
        for (const KeyCode code : codes)
            fakeKey(display, code, True, CurrentTime);
        for (auto code = codes.rbegin(); code != codes.rend(); ++code)
            fakeKey(display, *code, False, CurrentTime);
    }
    XFlush(display);
    if (!combos.empty()) {
        const unsigned int last = combos.back().front();
        const bool delivered = AwaitEvent(
            display,
            [&](const XEvent& event) {
                return event.type == KeyRelease && event.xkey.keycode == last;
            },
            std::min(deadline, Clock::now() + std::chrono::seconds(2)));
        if (!delivered)
            std::fprintf(stderr, "ping: the keys were not seen reaching window 0x%lx\n", focus);
    }
    for (long serial = 1; serial <= pings; ++serial) {
        if (serial > 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
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
        const auto answer = [&](const XEvent& reply) {
            return reply.type == ClientMessage && reply.xclient.window == root &&
                   reply.xclient.message_type == protocols &&
                   static_cast<Atom>(reply.xclient.data.l[0]) == ping &&
                   reply.xclient.data.l[1] == serial;
        };
        if (!AwaitEvent(display, answer, deadline)) {
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
