// CrashGuard: what the process that CreateProcess makes does between vfork
// and exec. Only async-signal-safe calls of the C library itself: it may
// run from the signal handler, and a test's system seam is not for a child.
#include <signal.h>
#include <unistd.h>

#include "diag/CrashGuard.h"

void CrashGuard::StartDetached(const char* path, char* const argv[], const int fds[2]) {
    // A grandchild, whose parent ends at once: init takes it over.
    pid_t grandchild = vfork();
    if (grandchild != 0)
        _exit(grandchild < 0 ? 1 : 0);
    setsid();
    dup2(fds[0], 0);
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    close(2);
    // From the handler every signal is blocked; the new program starts clean.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(path, argv);
    _exit(1);
}
