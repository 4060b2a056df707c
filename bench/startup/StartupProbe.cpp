// Starts a program and measures, from the moment it is launched, how long it
// takes until its first window is mapped on the X server, then how much memory
// the program has ever held and, optionally, how much CPU it burns while
// nobody touches it. The program is killed afterwards.
//
//   quimbel_startup_probe [--settle-ms N] [--idle-s N] [--timeout-ms N] -- PROGRAM [ARGS...]
//
// Prints one line of key=value pairs on standard output:
//   map_ms      launch (fork, then exec) to the MapNotify of its first window
//   hwm_kb      VmHWM of the program after the settle time
//   idle_cpu_s  user + system CPU time over the idle period (with --idle-s)
//   idle_switches context switches of all its threads over that period
// The program's own output goes to standard error. Exit status: 0 on success,
// 2 on bad usage, 3 when no window appeared in time or the program died first.
//
// Works without a window manager: top-level windows are children of the root
// window, so their MapNotify arrives through SubstructureNotify on the root.
// The event is waited for, not polled, so the reading is not quantised.

#include "../ProbeLaunch.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <dirent.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using namespace quimbel::probe;

void SleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// utime + stime of the whole process (every thread), in clock ticks.
long long CpuTicks(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return -1;
    char buffer[1024];
    const size_t size = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[size] = '\0';
    // The command name may hold spaces and parentheses: fields restart after
    // the last ')'. utime and stime are fields 14 and 15; after ')' come
    // field 3 onwards.
    const char* p = std::strrchr(buffer, ')');
    if (!p)
        return -1;
    ++p;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    if (std::sscanf(p, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) !=
        2)
        return -1;
    return (long long)(utime + stime);
}

// Voluntary and involuntary context switches summed over every thread: a
// program that wakes up on a timer shows here long before it shows as CPU time.
long long ContextSwitches(pid_t pid) {
    const std::string dirPath = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(dirPath.c_str());
    if (!dir)
        return -1;
    long long total = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        FILE* file = std::fopen((dirPath + "/" + entry->d_name + "/status").c_str(), "r");
        if (!file)
            continue;
        char line[256];
        while (std::fgets(line, sizeof line, file))
            if (std::strstr(line, "ctxt_switches:"))
                total += std::strtoll(std::strchr(line, ':') + 1, nullptr, 10);
        std::fclose(file);
    }
    closedir(dir);
    return total;
}

// True when the window carries _NET_WM_PID and it names someone else. A
// window without the property is counted: only our program runs on this
// server.
bool BelongsToOther(Display* display, Window window, pid_t pid) {
    static const Atom netWmPid = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    bool other = false;
    if (XGetWindowProperty(display, window, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32 && count == 1)
        other = pid_t(*reinterpret_cast<unsigned long*>(data)) != pid;
    if (data)
        XFree(data);
    return other;
}

void Usage() {
    std::fprintf(stderr, "usage: quimbel_startup_probe [--settle-ms N] [--idle-s N] "
                         "[--timeout-ms N] -- PROGRAM [ARGS...]\n");
}

} // namespace

int main(int argc, char* argv[]) {
    long settleMs = 300;
    long idleS = 0;
    long timeoutMs = 15000;
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
        if (arg == "--settle-ms")
            settleMs = std::atol(argv[++first]);
        else if (arg == "--idle-s")
            idleS = std::atol(argv[++first]);
        else if (arg == "--timeout-ms")
            timeoutMs = std::atol(argv[++first]);
        else {
            Usage();
            return 2;
        }
    }
    if (first >= argc) {
        Usage();
        return 2;
    }

    Display* display = OpenDisplayForMaps("quimbel_startup_probe");
    if (!display)
        return 2;
    const int xfd = ConnectionNumber(display);

    const double launched = NowMs();
    const pid_t pid = Launch(argv + first);
    if (pid < 0)
        return 2;

    double mappedAt = -1;
    while (mappedAt < 0) {
        while (mappedAt < 0 && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect &&
                !BelongsToOther(display, event.xmap.window, pid))
                mappedAt = NowMs();
        }
        if (mappedAt >= 0)
            break;
        const double left = launched + double(timeoutMs) - NowMs();
        int status = 0;
        if (left <= 0 || waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "quimbel_startup_probe: %s\n",
                         left <= 0 ? "no window was mapped in time" : "the program ended first");
            Stop(pid);
            return 3;
        }
        // Woken by the X connection; the short cap only serves to notice a
        // program that died.
        pollfd fds{xfd, POLLIN, 0};
        poll(&fds, 1, left < 50 ? int(left) + 1 : 50);
    }

    SleepMs(settleMs);
    const long hwmKb = PeakResidentKb(pid);
    std::printf("map_ms=%.2f hwm_kb=%ld", mappedAt - launched, hwmKb);
    if (idleS > 0) {
        const long long ticks0 = CpuTicks(pid);
        const long long switches0 = ContextSwitches(pid);
        SleepMs(idleS * 1000);
        const long long ticks1 = CpuTicks(pid);
        const long long switches1 = ContextSwitches(pid);
        std::printf(" idle_cpu_s=%.2f idle_switches=%lld",
                    double(ticks1 - ticks0) / double(sysconf(_SC_CLK_TCK)), switches1 - switches0);
    }
    std::printf("\n");
    std::fflush(stdout);

    Stop(pid);
    XCloseDisplay(display);
    return hwmKb < 0 ? 3 : 0;
}
