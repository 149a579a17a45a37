#pragma once

#include <cstdint>

// Makes the daemon's death visible.
//
// Once set up, the guard catches the stop signals (SIGHUP, SIGINT, SIGQUIT,
// SIGTERM, SIGTSTP) and the fault signals (SIGILL, SIGABRT, SIGBUS, SIGFPE,
// SIGSEGV, SIGSTKFLT). A stop signal gets a one-line stop report, a fault a
// backtrace of the thread that received it; reports go to the system log
// (when on) and are appended to the log file. Then the program's routine is
// called, a fault may start a fresh copy of the program (automatic restart),
// and the signal is raised again under the action that was in force before
// the guard, so it takes its ordinary effect.
//
// A SIGINT or SIGQUIT that was ignored when the guard was set up (a shell
// starts background jobs so) stays ignored, with no report. A signal that
// the process outlives (an ignored SIGHUP, a SIGTSTP followed by SIGCONT)
// leaves its earlier action in force, and the next caught signal is
// reported and takes its effect as the first did; otherwise one report is
// made, and a later fault ends the process by its default action.
//
// Reports are made with signal-safe calls only, into buffers made at set-up,
// on an alternate signal stack: a stop or a fault that interrupts the C
// library holding a lock (the allocator's, the time zone's, the system
// log's) still ends the process with its report, and a stack overflow is
// reported as well. The time comes from LocalClock, the system log through
// SystemLog, a frame's symbol through dladdr. A fault in the walk of a
// damaged stack ends the walk, not the report. The report file is written
// only in a directory of the process's user that no one else may write,
// never through a link.
//
// All state is static: the object marks the set-up's lifetime. Construct it
// first thing in main, on the main thread; a second construction while set
// up changes nothing. A signal after the destructor gets no report and takes
// its ordinary effect.
class CrashGuard {
public:
    // Any result is ignored. FAULT is 1 for a fault signal, 0 for a stop.
    using UserRoutine = int (*)(int fault, int signal, void* data);

    // LOG_FILE: reports are appended to it (null: none). APP_NAME: shown in
    // reports and used as the system log identity (null: the last part of the
    // path). APP_PATH: the program's executable (null: read from /proc).
    // AUTO_RESTART also writes "/var/run/" + the path's last part + ".pid".
    CrashGuard(const char* logFile, const char* appName, const char* appPath, bool syslogOn,
               bool autoRestart);
    ~CrashGuard();
    CrashGuard(const CrashGuard&) = delete;
    CrashGuard& operator=(const CrashGuard&) = delete;

    // The signal handler.
    static void FuneralProc(int signal);
    // Writes a backtrace report: for SIGNAL_NAME, of a signal; for null, of
    // an unhandled exception with REASON (which may be null).
    static void DumpStack(int signal, char* signalName, const char* reason);
    // Reports an unhandled exception and ends the process with exit(1).
    [[noreturn]] static void Abort(const char* reason);
    static bool IsDebuggerOn();
    static void SetUserRoutine(UserRoutine routine, void* data);

    // Starts PATH as a detached process (its own session, a child of init)
    // with the blank-separated words of ARGS (cut to 255 characters, at most
    // 15 arguments, the last keeping the rest) after it. The new program
    // starts with every signal unblocked, descriptor 0 and 1 the two ends of
    // a pipe of its own (the writing end never blocks) and descriptor 2
    // closed. Returns 1 once the new process was made (whether or not the
    // program could be run), 0 when the pipe or the process could not be
    // made. *NEW_ID, if given, gets a guess of the new program's id. Uses no
    // heap memory: safe to call from the signal handler.
    static int CreateProcess(const char* path, const char* args, unsigned long* newId);

private:
    // CreateProcess's child, between vfork and exec (CrashGuardChild.cpp):
    // detaches, puts the pipe FDS on 0 and 1 and runs PATH with ARGV.
    [[noreturn]] static void StartDetached(const char* path, char* const argv[], const int fds[2]);

    static char* mpLogFile;
    static char* mpAppName;
    static char* mpAppPath;
    static char* mpCmdLine;
    static char* mpTraceBuf;
    static int32_t mSyslogOn;
    static int32_t mAutoRestart;
    static int32_t mIsDone;
    static UserRoutine mpUserRoutine;
    static void* mpUserData;
};
