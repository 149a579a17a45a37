#include "tools/web/SavedReader.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/sys/System.h"
#include "tools/TextPieces.h"

SavedReader::~SavedReader() {
    if (mPid <= 0)
        return;
    System& sys = System::Default();
    sys.Kill(mPid, SIGKILL);
    while (sys.Waitpid(mPid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

const char* SavedReader::Program() {
    const char* program = getenv("CDRWEB_CDRCTL");
    return program && *program ? program : CDR_CTL_PATH;
}

int SavedReader::Start(uint8_t kinds, std::string* error) {
    System& sys = System::Default();
    int fds[2];
    if (sys.Socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
        *error = TextPieces::Formatted("socketpair: %s", strerror(errno));
        return -1;
    }
    // Closed by a successful exec; a failed one leaves its errno in it.
    int failed[2];
    if (sys.Pipe2(failed, O_CLOEXEC) != 0) {
        *error = TextPieces::Formatted("pipe: %s", strerror(errno));
        sys.Close(fds[0]);
        sys.Close(fds[1]);
        return -1;
    }
    const char mask[2] = {static_cast<char>('0' + (kinds & 7)), '\0'};
    const char* program = Program();
    mPid = sys.Fork();
    if (mPid == 0)
        BecomeReader(program, mask, fds[1], failed[1]);
    int err = errno;
    sys.Close(fds[1]);
    sys.Close(failed[1]);
    if (mPid > 0) {
        ssize_t n;
        while ((n = sys.Read(failed[0], &err, sizeof err)) < 0 && errno == EINTR) {
        }
        if (n != sizeof err)
            err = 0;
    }
    sys.Close(failed[0]);
    if (mPid < 0 || err != 0) {
        sys.Close(fds[0]);
        *error = TextPieces::Formatted("cannot start %s: %s", program, strerror(err));
        return -1;
    }
    return fds[0];
}
