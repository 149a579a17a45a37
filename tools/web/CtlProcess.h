#pragma once

#include <sys/types.h>

#include <string>

// cdrctl, run by the page for what cdrctl does anyway: reading the saved
// files while cdrd is down ("serve-saved", which answers the status and
// read commands as cdrd would), the form's actions and the downloads. So
// cdrweb carries no reader of record files and no second copy of cdrctl's
// commands or of its CSV; an action or a download costs a process, a page
// view does not (cdrd answers it).
//
// The program is $CDRWEB_CDRCTL, or the installed cdrctl. It runs as the
// page does, with nothing of the page's open but the three descriptors it
// is given. One object per child, on one thread; the destructor ends a
// child that was not waited for (they only read, so a kill loses nothing)
// and waits for it.
class CtlProcess {
public:
    CtlProcess() = default;
    ~CtlProcess();
    CtlProcess(const CtlProcess&) = delete;
    CtlProcess& operator=(const CtlProcess&) = delete;

    // Starts cdrctl with ARGS (null-ended, the first its name), with
    // IN, OUT and ERR as its standard input, output and error (-1:
    // /dev/null). False, with *ERROR, when it cannot be started.
    bool Start(const char* const* args, int in, int out, int err, std::string* error);
    // Waits for the child to end: its exit status, 128 and the signal that
    // ended it, or -1 with errno when that cannot be known.
    int Wait();

    // Runs cdrctl ARGS to its end with OUT as its standard output (-1:
    // into *SAID), and what it writes to its standard error into *SAID.
    // Its exit status, or -1 with *SAID when it could not be run or how it
    // ended cannot be known.
    static int Run(const char* const* args, int out, std::string* said);
    // The program started, for messages.
    static const char* Program();

private:
    // In the child: becomes PROGRAM with FDS as its standard input, output
    // and error, or writes the errno of the failure to FAILED. Returns never.
    [[noreturn]] static void Become(const char* program, const char* const* args, const int fds[3],
                                    int failed);

    pid_t mPid = -1;
};
