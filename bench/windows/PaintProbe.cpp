// Starts a program (here: a Windows program under Wine) and measures, from
// the moment it is launched, when its window named NAME is mapped on the X
// server, when that window first shows drawn content, and when the drawing
// has settled; then the program's peak resident memory. The program is killed
// afterwards. A Linux program, built by bench/run_windows_startup_bench.sh.
//
//   quimbel_paint_probe --name NAME [--min-ink N] [--quiet-ms N]
//                       [--timeout-ms N] -- PROGRAM [ARGS...]
//
// Prints one line of key=value pairs on standard output:
//   map_ms          launch (fork, then exec) to the MapNotify of the window
//   first_paint_ms  launch to the first look at the window showing at least
//                   N (--min-ink, 20) dark pixels inside its frame: text or
//                   control outlines, not the bare background
//   painted_ms      launch to the last change of those pixels before the
//                   window stayed the same for --quiet-ms (400): fully drawn
//   hwm_kb          VmHWM of the program's process once it is drawn
//   ink             dark pixels of the drawn window
// Exit status: 0 on success, 2 on bad usage, 3 when the window did not appear
// or was not drawn in time, or the program died first.
//
// The window is looked at every 2 ms through shared memory (MIT-SHM), so the
// probe costs the measured program little CPU. Wine draws each window's frame
// itself when no window manager runs: the first 30 pixel rows (title bar)
// and 8 pixels at the other edges are left out of the count.

#include "../ProbeLaunch.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace quimbel::probe;

// The window's title: _NET_WM_NAME (UTF-8), else WM_NAME.
std::string WindowName(Display* display, Window window) {
    static const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    static const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data && format == 8)
        name.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    if (name.empty()) {
        char* plain = nullptr;
        if (XFetchName(display, window, &plain) && plain) {
            name = plain;
            XFree(plain);
        }
    }
    return name;
}

// A shared-memory image the size of the window, refilled at every look.
class Snapshot {
public:
    Snapshot(Display* display, Window window) : display_(display), window_(window) {}
    ~Snapshot() { Release(); }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // Dark pixels inside the frame, or -1 when the window cannot be read.
    long Ink() {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, window_, &attributes) ||
            attributes.map_state != IsViewable)
            return -1;
        if (!image_ || attributes.width != image_->width || attributes.height != image_->height) {
            Release();
            if (!Create(attributes))
                return -1;
        }
        if (!XShmGetImage(display_, window_, image_, 0, 0, AllPlanes))
            return -1;
        long ink = 0;
        const int left = 8;
        const int top = 30;
        const int right = image_->width - 8;
        const int bottom = image_->height - 8;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const unsigned long pixel = XGetPixel(image_, x, y);
                const unsigned r = (pixel & image_->red_mask) >> redShift_;
                const unsigned g = (pixel & image_->green_mask) >> greenShift_;
                const unsigned b = (pixel & image_->blue_mask) >> blueShift_;
                ink += std::max({r, g, b}) <= 96 ? 1 : 0;
            }
        return ink;
    }

private:
    static int Shift(unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return shift;
    }

    bool Create(const XWindowAttributes& attributes) {
        image_ = XShmCreateImage(display_, attributes.visual, unsigned(attributes.depth), ZPixmap,
                                 nullptr, &shm_, unsigned(attributes.width),
                                 unsigned(attributes.height));
        if (!image_)
            return false;
        shm_.shmid = shmget(IPC_PRIVATE, size_t(image_->bytes_per_line) * size_t(image_->height),
                            IPC_CREAT | 0600);
        if (shm_.shmid < 0) {
            XDestroyImage(image_);
            image_ = nullptr;
            return false;
        }
        shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        shm_.readOnly = False;
        XShmAttach(display_, &shm_);
        XSync(display_, False);
        // Gone once both sides detach, even if the probe is killed.
        shmctl(shm_.shmid, IPC_RMID, nullptr);
        redShift_ = Shift(image_->red_mask);
        greenShift_ = Shift(image_->green_mask);
        blueShift_ = Shift(image_->blue_mask);
        return true;
    }

    void Release() {
        if (!image_)
            return;
        XShmDetach(display_, &shm_);
        XSync(display_, False);
        XDestroyImage(image_);
        shmdt(shm_.shmaddr);
        image_ = nullptr;
    }

    Display* display_;
    Window window_;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    int redShift_ = 0;
    int greenShift_ = 0;
    int blueShift_ = 0;
};

void Usage() {
    std::fprintf(stderr, "usage: quimbel_paint_probe --name NAME [--min-ink N] [--quiet-ms N] "
                         "[--timeout-ms N] -- PROGRAM [ARGS...]\n");
}

} // namespace

int main(int argc, char* argv[]) {
    std::string name;
    long minInk = 20;
    long quietMs = 400;
    long timeoutMs = 30000;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string arg = argv[first];
        if (arg == "--") {
            ++first;
            break;
        }
        if (first + 1 >= argc) {
            Usage();
            return 2;
        }
        if (arg == "--name")
            name = argv[++first];
        else if (arg == "--min-ink")
            minInk = std::atol(argv[++first]);
        else if (arg == "--quiet-ms")
            quietMs = std::atol(argv[++first]);
        else if (arg == "--timeout-ms")
            timeoutMs = std::atol(argv[++first]);
        else {
            Usage();
            return 2;
        }
    }
    if (first >= argc || name.empty()) {
        Usage();
        return 2;
    }

    Display* display = OpenDisplayForMaps("quimbel_paint_probe");
    if (!display)
        return 2;
    if (!XShmQueryExtension(display)) {
        std::fprintf(stderr, "quimbel_paint_probe: the X server has no MIT-SHM\n");
        return 2;
    }
    const int xfd = ConnectionNumber(display);

    const double launched = NowMs();
    const pid_t pid = Launch(argv + first);
    if (pid < 0)
        return 2;

    auto giveUp = [&](const char* why) {
        std::fprintf(stderr, "quimbel_paint_probe: %s\n", why);
        Stop(pid);
        return 3;
    };

    // Mapped windows and when, until one has the title: Wine may name a
    // window after mapping it.
    std::vector<std::pair<Window, double>> mapped;
    Window target = None;
    double mappedAt = -1;
    double firstPaintAt = -1;
    double lastChangeAt = -1;
    long lastInk = -1;
    std::unique_ptr<Snapshot> snapshot;
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            // Wine makes windows override-redirect when it expects no window
            // manager (the prefix says so): the title alone tells ours.
            if (event.type == MapNotify && target == None)
                mapped.emplace_back(event.xmap.window, NowMs());
        }
        const double now = NowMs();
        if (target == None) {
            for (const auto& [window, at] : mapped)
                if (WindowName(display, window) == name) {
                    target = window;
                    mappedAt = at;
                    snapshot = std::make_unique<Snapshot>(display, window);
                    break;
                }
        }
        if (snapshot) {
            const long ink = snapshot->Ink();
            const double seen = NowMs();
            if (ink >= minInk && firstPaintAt < 0)
                firstPaintAt = lastChangeAt = seen;
            if (firstPaintAt >= 0 && ink != lastInk)
                lastChangeAt = seen;
            lastInk = ink;
            if (firstPaintAt >= 0 && seen - lastChangeAt >= double(quietMs))
                break;
        }
        int status = 0;
        if (now - launched > double(timeoutMs)) {
            snapshot.reset();
            return giveUp(target == None ? "no window of that name was mapped in time"
                                         : "the window was not drawn in time");
        }
        if (waitpid(pid, &status, WNOHANG) == pid) {
            snapshot.reset();
            return giveUp("the program ended first");
        }
        pollfd fds{xfd, POLLIN, 0};
        poll(&fds, 1, 2);
    }

    const long hwmKb = PeakResidentKb(pid);
    std::printf("map_ms=%.2f first_paint_ms=%.2f painted_ms=%.2f hwm_kb=%ld ink=%ld\n",
                mappedAt - launched, firstPaintAt - launched, lastChangeAt - launched, hwmKb,
                lastInk);
    std::fflush(stdout);
    snapshot.reset();
    Stop(pid);
    XCloseDisplay(display);
    return hwmKb < 0 ? 3 : 0;
}
