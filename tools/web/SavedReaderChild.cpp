// SavedReader: what its child does between fork and exec. Only the C
// library itself: a test's system seam is not for a child.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "tools/web/SavedReader.h"

void SavedReader::BecomeReader(const char* program, const char* kinds, int fd, int failed) {
    // The web server reads the page's output until every holder closes it:
    // the reader holds nothing of it.
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0 && dup2(fd, STDIN_FILENO) >= 0 && dup2(null, STDOUT_FILENO) >= 0 &&
        dup2(null, STDERR_FILENO) >= 0) {
        char* const argv[] = {const_cast<char*>("cdrctl"), const_cast<char*>("serve-saved"),
                              const_cast<char*>(kinds), nullptr};
        execv(program, argv);
    }
    const int error = errno;
    (void)!write(failed, &error, sizeof error);
    _exit(127);
}
