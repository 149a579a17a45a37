#include "tools/web/CtlProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/sys/System.h"
#include "tools/TextPieces.h"

CtlProcess::~CtlProcess() {
    if (mPid <= 0)
        return;
    System::Default().Kill(mPid, SIGKILL);
    Wait();
}

const char* CtlProcess::Program() {
    const char* program = getenv("CDRWEB_CDRCTL");
    return program && *program ? program : CDR_CTL_PATH;
}

bool CtlProcess::Start(const char* const* args, int in, int out, int err, std::string* error) {
    assert(mPid < 0);
    System& sys = System::Default();
    // Closed by a successful exec; a failed one leaves its errno in it.
    int failed[2];
    if (sys.Pipe2(failed, O_CLOEXEC) != 0) {
        TextPieces::Assign(*error, "pipe: %s", strerror(errno));
        return false;
    }
    const int fds[3] = {in, out, err};
    const char* program = Program();
    // A web server may leave SIGCHLD ignored: the child would then be
    // reaped unseen, and how it ended never known.
    signal(SIGCHLD, SIG_DFL);
    mPid = sys.Fork();
    if (mPid == 0)
        Become(program, args, fds, failed[1]);
    int code = errno;
    sys.Close(failed[1]);
    if (mPid > 0) {
        ssize_t n;
        while ((n = sys.Read(failed[0], &code, sizeof code)) < 0 && errno == EINTR) {
        }
        if (n != sizeof code)
            code = 0;
        else
            Wait();  // it wrote why, and ended
    }
    sys.Close(failed[0]);
    if (mPid < 0 || code != 0) {
        mPid = -1;
        TextPieces::Assign(*error, "cannot start %s: %s", program, strerror(code));
        return false;
    }
    return true;
}

int CtlProcess::Wait() {
    int status = 0;
    pid_t ended;
    while ((ended = System::Default().Waitpid(mPid, &status, 0)) < 0 && errno == EINTR) {
    }
    mPid = -1;
    if (ended < 0)
        return -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

int CtlProcess::Run(const char* const* args, int out, std::string* said) {
    System& sys = System::Default();
    int pipe[2];
    if (sys.Pipe2(pipe, O_CLOEXEC) != 0) {
        TextPieces::Assign(*said, "pipe: %s", strerror(errno));
        return -1;
    }
    CtlProcess child;
    const bool started = child.Start(args, -1, out < 0 ? pipe[1] : out, pipe[1], said);
    sys.Close(pipe[1]);
    char buffer[512];
    for (ssize_t n; started && (n = sys.Read(pipe[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            said->append(buffer, static_cast<size_t>(n));
        else if (errno != EINTR)
            break;
    }
    sys.Close(pipe[0]);
    const int status = started ? child.Wait() : -1;
    if (started && status < 0)
        TextPieces::Assign(*said, "waitpid: %s", strerror(errno));
    return status;
}
