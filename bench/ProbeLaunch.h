#pragma once

// What the start-up probes share: a clock, a process's peak memory, and a
// program launched under the eye of the X server, whose top-level maps are
// heard from before the launch on.

#include <X11/Xlib.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quimbel::probe {

inline double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The process's peak resident set, from /proc/PID/status; -1 if unreadable.
inline long PeakResidentKb(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, file))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::strtol(line + 6, nullptr, 10);
    std::fclose(file);
    return kb;
}

// Windows come and go under the probe's feet: their errors are not its own.
inline int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

// The display, already listening for maps of top-level windows (children of
// the root when no window manager runs), so that no map can slip by; null,
// with a message from `probe`, when there is no display.
inline Display* OpenDisplayForMaps(const char* probe) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "%s: cannot open display %s\n", probe,
                     std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(unset)");
        return nullptr;
    }
    XSetErrorHandler(IgnoreXErrors);
    const int xfd = ConnectionNumber(display);
    fcntl(xfd, F_SETFD, fcntl(xfd, F_GETFD) | FD_CLOEXEC);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    return display;
}

// Starts `argv` (null-terminated): its output goes to standard error, which
// leaves standard output to the measurements, and it dies with the probe.
// -1 when it could not be started.
inline pid_t Launch(char* argv[]) {
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return -1;
    }
    if (pid == 0) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execvp(argv[0], argv);
        std::perror(argv[0]);
        _exit(127);
    }
    return pid;
}

inline void Stop(pid_t pid) {
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

} // namespace quimbel::probe
