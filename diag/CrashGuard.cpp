#include "diag/CrashGuard.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "diag/LocalClock.h"
#include "diag/SafeText.h"
#include "diag/SystemLog.h"
#include "platform/config/TrustedDirectory.h"
#include "platform/sys/System.h"
#include "platform/util/DecimalText.h"
#include "platform/util/Thread.h"

char* CrashGuard::mpLogFile = nullptr;
char* CrashGuard::mpAppName = nullptr;
char* CrashGuard::mpAppPath = nullptr;
char* CrashGuard::mpCmdLine = nullptr;
char* CrashGuard::mpTraceBuf = nullptr;
int32_t CrashGuard::mSyslogOn = 0;
int32_t CrashGuard::mAutoRestart = 0;
int32_t CrashGuard::mIsDone = 0;
CrashGuard::UserRoutine CrashGuard::mpUserRoutine = nullptr;
void* CrashGuard::mpUserData = nullptr;

namespace {

const size_t kTraceSize = 4096;
const size_t kCmdLineSize = 256;

// Taken while static objects are initialised, before main runs.
const pid_t gStartPid = getpid();

struct Caught {
    int signal;
    const char* name;
};
const Caught kCaught[] = {
    {SIGHUP, "SIGHUP"},   {SIGINT, "SIGINT"},   {SIGQUIT, "SIGQUIT"},     {SIGTERM, "SIGTERM"},
    {SIGTSTP, "SIGTSTP"}, {SIGILL, "SIGILL"},   {SIGABRT, "SIGABRT"},     {SIGBUS, "SIGBUS"},
    {SIGFPE, "SIGFPE"},   {SIGSEGV, "SIGSEGV"}, {SIGSTKFLT, "SIGSTKFLT"},
};
const int kCaughtCount = sizeof kCaught / sizeof kCaught[0];
const int kFirstFault = 5;  // slots before it are stop signals

struct sigaction gAction;
struct sigaction gSaved[kCaughtCount];

// The handler runs here, so that a stack overflow can still be reported.
char gAltStack[64 * 1024];

// Set while the unwinder runs inside the handler: a fault or abort in it
// (a damaged stack, an unwinder that does not know the signal frame) jumps
// back, so the report still comes out.
sigjmp_buf gUnwindJump;
volatile sig_atomic_t gUnwinding = 0;

// Frames found so far; kept when a fault ends the search early.
volatile int gFound = 0;

// Walks the stack by its back chain, which the PowerPC ABI keeps in every
// frame: word 0 of a frame points to the caller's frame, whose word 1 holds
// the return address. The chain may jump between the alternate signal stack
// and the thread's stack, so only its shape is checked; a wild pointer faults
// and ends the walk through the same guard as the unwinder.
void WalkBackChain(void** frames, int max) {
#if defined(__powerpc__) && !defined(__powerpc64__)
    void** frame = static_cast<void**>(__builtin_frame_address(0));
    while (frame && gFound < max) {
        void** caller = static_cast<void**>(frame[0]);
        if (!caller || caller == frame || reinterpret_cast<uintptr_t>(caller) % 8 != 0)
            break;
        if (!caller[1])
            break;  // the outermost frame: no return address
        frames[gFound] = caller[1];
        gFound = gFound + 1;
        frame = caller;
    }
#else
    (void)frames;
    (void)max;
#endif
}

// backtrace, with the faults it may cause inside the handler caught; where
// the unwinder finds nothing, the back chain. A damaged stack is exactly
// when a report matters, and when the walk itself faults.
int SafeBacktrace(void** frames, int max) {
    const int kWalkFaults[] = {SIGSEGV, SIGBUS, SIGABRT, SIGILL};
    // The guard's own recovery is armed only around the walk: the signal
    // being reported has its earlier action back already, for the re-raise,
    // and a fault in the walk must come back here instead of taking it.
    struct sigaction before[4];
    sigset_t faults, old;
    sigemptyset(&faults);
    for (int i = 0; i < 4; ++i) {
        sigaction(kWalkFaults[i], &gAction, &before[i]);
        sigaddset(&faults, kWalkFaults[i]);
    }
    pthread_sigmask(SIG_UNBLOCK, &faults, &old);
    gFound = 0;
    if (sigsetjmp(gUnwindJump, 1) == 0) {
        gUnwinding = 1;
        gFound = backtrace(frames, max);
    }
    if (gFound <= 0 && sigsetjmp(gUnwindJump, 1) == 0) {
        gFound = 0;
        gUnwinding = 1;
        WalkBackChain(frames, max);
    }
    gUnwinding = 0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    for (int i = 0; i < 4; ++i) sigaction(kWalkFaults[i], &before[i], nullptr);
    return gFound > 0 ? gFound : 0;
}

int SlotOf(int signal) {
    for (int i = 0; i < kCaughtCount; ++i)
        if (kCaught[i].signal == signal)
            return i;
    return -1;
}

char* Copy(const char* text) {
    if (!text)
        return nullptr;
    size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}

// Appends what backtrace_symbols would give for ADDRESS
// ("FILE(SYMBOL+0xOFFSET) [0xADDRESS]"), without its heap memory: a fault
// in the allocator, holding its lock, must still be reported.
void AppendSymbol(SafeText& text, void* address) {
    Dl_info info;
    struct link_map* map = nullptr;
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    if (!dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) ||
        !info.dli_fname || !info.dli_fname[0]) {
        text << "[";
        text.Hex(at) << "]";
        return;
    }
    // Without a symbol the offset is from where the object was loaded.
    const uintptr_t base =
        info.dli_sname ? reinterpret_cast<uintptr_t>(info.dli_saddr) : (map ? map->l_addr : 0);
    text << info.dli_fname << "(";
    if (info.dli_sname || base != 0) {
        text << (info.dli_sname ? info.dli_sname : "") << (at >= base ? "+" : "-");
        text.Hex(at >= base ? at - base : base - at);
    }
    text << ") [";
    text.Hex(at) << "]";
}

// Appends TEXT to the file at PATH, only in a directory of this process's
// user that no one else may write or in one of root's with the sticky bit,
// only to a regular file of this user's with one name, and never through a
// link (see Configuration::TrustedDirectory): in a shared /tmp another user
// could otherwise point the report anywhere. Signal-safe calls only.
void AppendToFile(const char* path, const char* text) {
    const char* slash = path ? std::strrchr(path, '/') : nullptr;
    char dir[1024];
    if (!slash || static_cast<size_t>(slash - path) >= sizeof dir)
        return;
    const size_t dirLength = slash == path ? 1 : static_cast<size_t>(slash - path);
    std::memcpy(dir, path, dirLength);
    dir[dirLength] = '\0';
    System& sys = System::Default();
    const int dirFd = sys.Open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (dirFd < 0)
        return;
    struct stat st;
    const char* why;
    const int fd = Configuration::TrustedDirectory::OpenForAppend(sys, dirFd, slash + 1, &st, &why);
    // Nothing can be done about a report that does not arrive.
    if (fd >= 0) {
        sys.WriteAll(fd, text, std::strlen(text));
        sys.Close(fd);
    }
    sys.Close(dirFd);
}

// Moves FD above the standard descriptors, so that placing the pipe on 0 and
// 1 cannot close one end by accident.
int AboveStandard(int fd) {
    if (fd > 2)
        return fd;
    int moved = System::Default().FcntlInt(fd, F_DUPFD, 3);
    System::Default().Close(fd);
    return moved;
}

}  // namespace

CrashGuard::CrashGuard(const char* logFile, const char* appName, const char* appPath, bool syslogOn,
                       bool autoRestart) {
    if (mpTraceBuf)
        return;
    // The first backtrace loads the unwinder; do it now, not in the handler.
    void* warm[2];
    backtrace(warm, 2);
    stack_t alt{};
    alt.ss_sp = gAltStack;
    alt.ss_size = sizeof gAltStack;
    sigaltstack(&alt, nullptr);

    std::memset(&gAction, 0, sizeof gAction);
    gAction.sa_handler = FuneralProc;
    sigfillset(&gAction.sa_mask);
    gAction.sa_flags = SA_ONSTACK;  // the alternate stack and nothing else
    for (int i = 0; i < kCaughtCount; ++i) sigaction(kCaught[i].signal, &gAction, &gSaved[i]);

    mSyslogOn = syslogOn;
    mAutoRestart = autoRestart;
    mpLogFile = Copy(logFile);
    mpTraceBuf = new char[kTraceSize]();
    mpCmdLine = new char[kCmdLineSize]();
    if (appPath) {
        mpAppPath = Copy(appPath);
    } else {
        mpAppPath = new char[1024]();
        Thread::GetCommandLine(mpAppPath, 1024, true, false, true);
    }
    Thread::GetCommandLine(mpCmdLine, kCmdLineSize, false, false, false);
    if (appName) {
        mpAppName = Copy(appName);
    } else {
        const char* base = std::strrchr(mpAppPath, '/');
        if (!base)
            base = std::strrchr(mpAppPath, '\\');
        mpAppName = Copy(base ? base + 1 : mpAppPath);
    }
    // What the handler needs of the system log and the clock, had now:
    // neither may be set up inside it.
    // A clock that cannot be read leaves the offset as it was (UTC at first).
    struct timespec now;
    if (System::Default().ClockGettime(CLOCK_REALTIME, &now) == 0)
        LocalClock::Remember(now.tv_sec);
    if (mSyslogOn)
        SystemLog::Open(mpAppName);
    if (mAutoRestart) {
        const char* slash = std::strrchr(mpAppPath, '/');
        const char* base = slash ? slash + 1 : mpAppPath;
        const size_t size = std::strlen(base) + 16;
        if (char* name = new (std::nothrow) char[size]) {
            snprintf(name, size, "/var/run/%s.pid", base);
            System& sys = System::Default();
            const int fd = sys.Open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd >= 0) {
                char text[DecimalText::kMaxText + 1];
                const size_t n = DecimalText::Write(gStartPid, text);
                text[n] = '\n';
                sys.WriteAll(fd, text, n + 1);
                sys.Close(fd);
            }
            delete[] name;
        }
    }
}

CrashGuard::~CrashGuard() {
    if (!mpTraceBuf)
        return;
    delete[] mpLogFile;
    mpLogFile = nullptr;
    delete[] mpAppName;
    mpAppName = nullptr;
    delete[] mpAppPath;
    mpAppPath = nullptr;
    delete[] mpCmdLine;
    mpCmdLine = nullptr;
    delete[] mpTraceBuf;
    mpTraceBuf = nullptr;
}

void CrashGuard::FuneralProc(int signal) {
    if (gUnwinding) {  // the unwinder failed inside this handler: go back to it
        gUnwinding = 0;
        siglongjmp(gUnwindJump, 1);
    }
    const int slot = SlotOf(signal);
    const bool fault = slot < 0 || slot >= kFirstFault;
    // A shell starts its background jobs with SIGINT and SIGQUIT ignored,
    // so that a Ctrl-C at the terminal does not reach them: they stay so.
    if ((signal == SIGINT || signal == SIGQUIT) && gSaved[slot].sa_handler == SIG_IGN)
        return;
    // One atomic step, so that of two signals at once only one goes on.
    if (__atomic_exchange_n(&mIsDone, 1, __ATOMIC_SEQ_CST)) {
        if (fault) {
            // Reported already: a fault must still end the process, not recur for ever.
            struct sigaction dfl;
            std::memset(&dfl, 0, sizeof dfl);
            dfl.sa_handler = SIG_DFL;
            sigaction(signal, &dfl, nullptr);
            raise(signal);
        }
        return;
    }
    if (slot >= 0)
        sigaction(signal, &gSaved[slot], nullptr);
    if (!mpTraceBuf) {  // after the destructor: no buffers, no report
        raise(signal);
        return;
    }
    const char* name = slot >= 0 ? kCaught[slot].name : "Unknown";
    if (!fault) {
        // Signal-safe calls only: the stop may have interrupted the thread
        // inside the C library, holding the locks localtime and syslog take.
        struct tm local = {};
        LocalClock::Read(&local);
        SafeText report(mpTraceBuf, kTraceSize);
        report << "\n======= Process " << mpAppPath << " (" << mpAppName
               << ") has been stopped by signal " << name << "(";
        report.Number(signal) << ") at ";
        report.Number(local.tm_hour, 2) << ":";
        report.Number(local.tm_min, 2) << ":";
        report.Number(local.tm_sec, 2) << " =======\n";
        if (mSyslogOn)
            SystemLog::Write(LOG_WARNING, mpTraceBuf);
        AppendToFile(mpLogFile, mpTraceBuf);
    } else if (!IsDebuggerOn()) {
        DumpStack(signal, const_cast<char*>(name), nullptr);
    }
    if (mpUserRoutine)
        mpUserRoutine(fault ? 1 : 0, signal, mpUserData);
    if (fault && mAutoRestart)
        CreateProcess(mpAppPath, mpCmdLine, nullptr);
    if (fault) {
        raise(signal);  // takes effect once the handler returns
        return;
    }
    // A stop signal takes effect here and now. When the process outlives it
    // (an ignored SIGHUP, a SIGTSTP and then a SIGCONT), the next signal
    // must be reported and take its effect too.
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    __atomic_store_n(&mIsDone, 0, __ATOMIC_SEQ_CST);
}

void CrashGuard::DumpStack(int signal, char* signalName, const char* reason) {
    if (!mpTraceBuf)
        return;
    // Signal-safe: text made by copies into buffers made at set-up or on
    // this stack, as a fault may come from inside the C library.
    SafeText report(mpTraceBuf, kTraceSize);
    report << "\n======= Backtrace dump of the process " << mpAppPath << " (" << mpAppName << "), ";
    if (signalName) {
        report << "got signal " << signalName << "(";
        report.Number(signal) << ") =======\n";
    } else {
        report << "caught C++ unhandled exception" << (reason ? ", reason: " : "") << reason
               << " =======\n";
    }
    const size_t header = report.Length();
    void* frames[128];
    const int n = SafeBacktrace(frames, 128);
    if (mSyslogOn)
        SystemLog::Write(LOG_ERR, mpTraceBuf);
    for (int i = 0; i < n; ++i) {
        char line[512];
        SafeText frame(line, sizeof line);
        frame << " ";
        frame.Hex(reinterpret_cast<uintptr_t>(frames[i])) << ": ";
        AppendSymbol(frame, frames[i]);
        if (mSyslogOn)
            SystemLog::Write(LOG_ERR, line);
        report << line << "\n";
    }
    if (mSyslogOn) {
        char line[512];
        SafeText end(line, sizeof line);
        end << "========= End of Backtace of the " << mpAppName << " =========\n";
        SystemLog::Write(LOG_ERR, line);
    }
    // The footer is as wide as the header line: (header length - 18) / 2 "=" each side.
    const size_t rule = header > 18 ? (header - 18) / 2 : 0;
    for (size_t i = 0; i < rule; ++i) report << "=";
    report << " End of Backtace ";
    for (size_t i = 0; i < rule; ++i) report << "=";
    report << "\n\n";
    AppendToFile(mpLogFile, mpTraceBuf);
}

void CrashGuard::Abort(const char* reason) {
    DumpStack(6, nullptr, reason);
    exit(1);
}

bool CrashGuard::IsDebuggerOn() {
    return false;
}

void CrashGuard::SetUserRoutine(UserRoutine routine, void* data) {
    mpUserRoutine = routine;
    mpUserData = data;
}

int CrashGuard::CreateProcess(const char* path, const char* args, unsigned long* newId) {
    // The device's limits: at most this many arguments after the path, in
    // a line of at most 255 bytes.
    const int kMaxArguments = 15;
    char work[256];
    std::memset(work, 0, sizeof work);
    if (args)
        std::strncpy(work, args, sizeof work - 1);
    System& sys = System::Default();
    int fds[2];
    if (sys.Pipe2(fds, 0) != 0)
        return 0;
    fds[0] = AboveStandard(fds[0]);
    fds[1] = AboveStandard(fds[1]);
    // Nobody reads the new program's output: writing must fail, not hang it.
    sys.FcntlInt(fds[1], F_SETFL, O_NONBLOCK);

    char* argv[kMaxArguments + 2] = {};  // the path, the arguments, the null
    argv[0] = const_cast<char*>(path);
    if (work[0]) {
        int words = 1;
        argv[1] = work;
        for (char* p = work; *p && words < kMaxArguments; ++p) {
            if (*p == ' ') {
                *p = '\0';
                argv[++words] = p + 1;
            }
        }
    }

    // Not through the seam: vfork cannot be wrapped in a function that returns.
    pid_t child = vfork();
    if (child < 0) {
        sys.Close(fds[0]);
        sys.Close(fds[1]);
        return 0;
    }
    if (child == 0)
        StartDetached(path, argv, fds);
    sys.Close(fds[0]);
    sys.Close(fds[1]);
    int status;
    sys.Waitpid(child, &status, WNOHANG);
    if (newId)
        *newId = static_cast<unsigned long>(child) + 1;
    return 1;
}
