#include "platform/statdl/TimedCommand.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sys/System.h"

namespace {

int StatusOf(int raw) {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

}  // namespace

TimedCommand::Outcome TimedCommand::Run(const std::string& command, unsigned seconds, int* status,
                                        int pass, std::string* firstErrorLine) {
    System& sys = System::Default();
    int alive[2];
    if (sys.Pipe2(alive, O_CLOEXEC) != 0)
        return kCannotStart;
    // What the command writes to its standard error: its first line is
    // kept, the rest read and dropped, so that the command never blocks.
    int errors[2] = {-1, -1};
    if (firstErrorLine && sys.Pipe2(errors, O_CLOEXEC) == 0)
        sys.FcntlInt(errors[0], F_SETFL, O_NONBLOCK);
    std::string written;
    auto drain = [&] {
        char buf[512];
        ssize_t n;
        while (errors[0] >= 0 && (n = sys.Read(errors[0], buf, sizeof buf)) > 0) {
            written.append(buf, static_cast<size_t>(n));
            if (written.size() > kMaxErrorText)
                written.resize(kMaxErrorText);
        }
    };
    const pid_t pid = sys.Fork();
    if (pid < 0) {
        sys.Close(alive[0]);
        sys.Close(alive[1]);
        for (int fd : errors)
            if (fd >= 0)
                sys.Close(fd);
        return kCannotStart;
    }
    if (pid == 0)
        TimedCommand::BecomeCommand(command.c_str(), pass, errors[1]);
    if (errors[1] >= 0)
        sys.Close(errors[1]);
    // Also from this side, so that a kill at once after fork reaches the group.
    sys.Setpgid(pid, pid);
    // The guard: a child of the caller that waits for the caller's end of
    // the pipe ALIVE to close. The caller closes it only after the guard is
    // gone, so the guard wakes only when the caller died, however abruptly.
    const pid_t guard = sys.Fork();
    if (guard == 0)
        TimedCommand::Guard(pid, alive);
    sys.Close(alive[0]);
    if (guard < 0)
        sys.Kill(-pid, SIGKILL);  // unguarded, it must not run; reaped below
    // A clock that cannot be read makes the deadline past: the command is
    // killed rather than left without a limit.
    int64_t now = 0;
    const bool timed = sys.MonotonicMs(&now);
    const int64_t deadline = now + int64_t{seconds} * 1000;
    int64_t nap = 1;  // ms, growing: quick commands return quickly
    Outcome outcome = kKilledAtTimeout;
    for (;;) {
        // Not reaped yet (WNOWAIT): while the shell is a zombie its group id
        // cannot be taken by another process, so the kill below is safe.
        siginfo_t info = {};
        const int rc =
            sys.Waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if (rc == 0 && info.si_pid == pid) {
            outcome = kExited;
            break;
        }
        if (rc != 0 && errno != EINTR) {  // reaped by someone else: status unknown
            outcome = kCannotStart;
            break;
        }
        drain();
        if (!timed || !sys.MonotonicMs(&now) || now >= deadline)
            break;
        sys.SleepMs(nap);
        if (nap < 50)
            nap *= 2;
    }
    // At the time limit the command goes; after its end, whatever it left
    // running in its group goes with it.
    sys.Kill(-pid, SIGKILL);
    // The guard goes before the command is reaped: the group id stays taken
    // (by the zombie) for as long as the guard might use it.
    if (guard > 0) {
        sys.Kill(guard, SIGKILL);
        while (sys.Waitpid(guard, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    sys.Close(alive[1]);
    int raw = 0;
    pid_t reaped;
    while ((reaped = sys.Waitpid(pid, &raw, 0)) < 0 && errno == EINTR) {
    }
    *status = reaped == pid && outcome != kCannotStart ? StatusOf(raw) : -1;
    if (firstErrorLine) {
        drain();
        *firstErrorLine = written.substr(0, written.find('\n'));
    }
    if (errors[0] >= 0)
        sys.Close(errors[0]);
    return outcome;
}
