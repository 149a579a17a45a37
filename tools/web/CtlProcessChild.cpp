// CtlProcess: what its child does between fork and exec. Only the C
// library itself: a test's system seam is not for a child.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "tools/web/CtlProcess.h"

void CtlProcess::Become(const char* program, const char* const* args, const int fds[3],
                        int failed) {
    // The web server reads the page's output until every holder closes it:
    // the child holds only what it is given.
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    bool ready = null >= 0;
    for (int i = 0; i < 3 && ready; ++i) {
        const int fd = fds[i] < 0 ? null : fds[i];
        // dup2 of a descriptor onto itself leaves its close-on-exec flag.
        ready = fd == i ? fcntl(fd, F_SETFD, 0) == 0 : dup2(fd, i) == i;
    }
    if (ready)
        execv(program, const_cast<char* const*>(args));
    const int error = errno;
    (void)!write(failed, &error, sizeof error);
    _exit(127);
}
