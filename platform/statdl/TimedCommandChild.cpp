// TimedCommand: what its children do between fork and exec. Only
// async-signal-safe calls of the C library itself: the caller may have
// other threads, and a test's system seam is not for a child.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "platform/statdl/TimedCommand.h"

void TimedCommand::BecomeCommand(const char* command, int pass, int errors) {
    setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Handled signals are reset by exec; ignored ones would stay ignored.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2})
        sigaction(sig, &dfl, nullptr);
    // Out of the way of 0 to 3 first, whatever numbers the caller's had.
    const int passed = pass >= 0 ? fcntl(pass, F_DUPFD_CLOEXEC, 10) : -1;
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    const int nullHigh = null >= 0 ? fcntl(null, F_DUPFD_CLOEXEC, 10) : -1;
    const int errorsHigh = errors >= 0 ? fcntl(errors, F_DUPFD_CLOEXEC, 10) : nullHigh;
    if (nullHigh < 0 || errorsHigh < 0 || (pass >= 0 && passed < 0))
        _exit(127);
    // dup2 leaves each copy open across exec; the originals close there.
    if (dup2(nullHigh, STDIN_FILENO) < 0 || dup2(nullHigh, STDOUT_FILENO) < 0 ||
        dup2(errorsHigh, STDERR_FILENO) < 0 || (passed >= 0 && dup2(passed, kPassedFd) < 0))
        _exit(127);
    execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    _exit(127);
}

void TimedCommand::Guard(pid_t group, const int alive[2]) {
    // The caller's handlers (its crash report) are not the guard's.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);
    close(alive[1]);
    char byte;
    while (read(alive[0], &byte, 1) < 0 && errno == EINTR) {
    }
    // The caller died: the command's group must not outlive it.
    kill(-group, SIGKILL);
    _exit(0);
}
