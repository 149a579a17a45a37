#pragma once

#include <sys/types.h>

#include <string>

// Runs a shell command with a hard time limit.
//
// The command runs as "/bin/sh -c COMMAND" in a process group of its own,
// with standard input and output on /dev/null, standard error on /dev/null
// or on a pipe that the caller drains as it waits (so the command can never
// block on it), the caller's descriptor PASS (if not -1) as its
// descriptor 3, and no signals blocked or ignored. When the time is
// up the whole group is killed with SIGKILL and reaped. Run returns only
// when the command and its shell are gone. A guard process kills the group
// if the caller dies while the command runs, so no command outlives it.
// Stateless; callable from any
// thread, but a caller that reaps every child (SIGCHLD ignored, or a waitpid
// for any child elsewhere) takes the command's status away.
class TimedCommand {
public:
    enum Outcome { kExited, kKilledAtTimeout, kCannotStart };

    // Runs COMMAND for at most SECONDS. *STATUS receives the exit status
    // (kExited) or the signal that ended the shell, as 128 + signal. With
    // FIRST_ERROR_LINE, it receives the first line the command wrote to its
    // standard error (at most kMaxErrorText bytes, without its line end).
    static Outcome Run(const std::string& command, unsigned seconds, int* status, int pass = -1,
                       std::string* firstErrorLine = nullptr);

    static constexpr size_t kMaxErrorText = 200;

    // The descriptor number PASS has in the command.
    static constexpr int kPassedFd = 3;

private:
    // The children (TimedCommandChild.cpp): the shell that runs COMMAND,
    // with PASS and ERRORS put in place; and the guard, which kills GROUP
    // once the pipe ALIVE tells that the caller died.
    [[noreturn]] static void BecomeCommand(const char* command, int pass, int errors);
    [[noreturn]] static void Guard(pid_t group, const int alive[2]);
};
