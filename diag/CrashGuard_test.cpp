#include "diag/CrashGuard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <thread>

#include "platform/util/LogStream.h"
#include "tests/support/PrivateMounts.h"
#include "tests/support/TempDir.h"

using namespace testing_support;

namespace {

const int kNoNamespace = 77;

// Runs BODY in a child process, which is continued whenever it stops;
// returns the wait status.
int InChild(const std::function<void()>& body) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    while (waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status)) kill(pid, SIGCONT);
    return status;
}

bool EndedBy(int status, int signal) {
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

#pragma GCC diagnostic ignored "-Winfinite-recursion"
int Recurse(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + frame[0];
}

// A fault raised where the walk of the stack will fault too: on x86-64 a
// frame pointer of 0xdead0000 (the unwinder finds the caller's frame
// through it), on 32-bit PowerPC an overwritten back chain.
#if defined(__x86_64__)
__attribute__((noinline, optimize("no-omit-frame-pointer"))) void FaultOnADamagedStack() {
    asm volatile(
        "movq %%rbp, %%r12\n\t"
        "movabsq $0xdead0000, %%rbp\n\t"
        "movl $11, %%edi\n\t"
        "call raise@PLT\n\t"
        "movq %%r12, %%rbp\n\t" ::
            : "r12", "rax", "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11", "memory");
}
#elif defined(__powerpc__) && !defined(__powerpc64__)
__attribute__((noinline)) void FaultOnADamagedStack() {
    void** volatile frame = static_cast<void**>(__builtin_frame_address(0));
    frame[0] = reinterpret_cast<void*>(uintptr_t{0xdead0000});
    raise(SIGSEGV);
}
#else
#define NO_DAMAGED_STACK_CASE
#endif

// The footers that close backtrace reports: rules as wide as the headers
// of the reports below ask for.
std::string Footer(size_t rule) {
    return std::string(rule, '=') + " End of Backtace " + std::string(rule, '=') + "\n\n";
}

class CrashGuardTest : public ::testing::Test {
protected:
    std::string LogFile() { return mDir.File("cdr.log"); }
    std::string Log() { return ReadFile(LogFile()); }
    TempDir mDir;
};

}  // namespace

// Faults give a backtrace between a header and a footer, also when the
// walk of the stack itself faults; the signal still ends the process.
TEST_F(CrashGuardTest, FaultsWriteABacktraceWhoseFooterFollowsTheHeader) {
    const std::string header =
        "\n======= Backtrace dump of the process /usr/sbin/cdrd (cdrd), got signal SIGSEGV(11) "
        "=======\n";
    const std::string footer = Footer(37);
    for (int kind = 0; kind < 4; ++kind) {
        remove(LogFile().c_str());
        int status = InChild([&] {
            new CrashGuard(LogFile().c_str(), nullptr, "/usr/sbin/cdrd", false, false);
            if (kind == 0)
                raise(SIGSEGV);
            if (kind == 1) {
                int* volatile wild = reinterpret_cast<int*>(uintptr_t{16});
                *wild = 1;  // a wild write
            }
            if (kind == 2)
                Recurse(0);  // a stack overflow, reported from the alternate stack
#ifndef NO_DAMAGED_STACK_CASE
            if (kind == 3)
                FaultOnADamagedStack();
#endif
        });
#ifdef NO_DAMAGED_STACK_CASE
        if (kind == 3)
            break;
#endif
        EXPECT_TRUE(EndedBy(status, SIGSEGV)) << kind << " " << status;
        const std::string log = Log();
        ASSERT_EQ(0u, log.find(header)) << log;
        if (kind == 2) {
            // 128 deep frames fill the 4096-byte report and cut its end; where the
            // unwinder cannot leave the signal stack, fewer frames leave room for the footer.
            EXPECT_TRUE(log.size() == 4095u || log.substr(log.size() - footer.size()) == footer)
                << log;
            EXPECT_NE(std::string::npos, log.find(" 0x", header.size()));
            continue;
        }
        ASSERT_GE(log.size(), header.size() + footer.size());
        EXPECT_EQ(footer, log.substr(log.size() - footer.size())) << log;
        const std::string frames =
            log.substr(header.size(), log.size() - header.size() - footer.size());
        EXPECT_TRUE(kind == 3 || std::regex_match(frames, std::regex("( 0x[0-9a-f]+: [^\n]*\n)+")))
            << frames;
    }
}

// A stop may come while the main thread is inside the C library, holding
// the locks that localtime and syslog take: the report must come out all
// the same, and the process end within a second, whatever the moment.
TEST_F(CrashGuardTest, AStopAtAnyMomentEndsWithItsReportWithinASecond) {
    std::mt19937 random(13);
    for (int round = 0; round < 200; ++round) {
        remove(LogFile().c_str());
        int ready[2];
        ASSERT_EQ(0, pipe(ready));
        fflush(nullptr);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // syslog's calls go nowhere, its lock is taken all the same
            if (!EnterPrivateMounts({"/dev"}))
                _exit(kNoNamespace);
            new CrashGuard(LogFile().c_str(), "cdrd", "/usr/sbin/cdrd", true, false);
            (void)!write(ready[1], "r", 1);
            for (time_t t = time(nullptr);; ++t) {
                struct tm local;
                localtime_r(&t, &local);
                syslog(LOG_INFO, "busy %d", local.tm_sec);
            }
        }
        close(ready[1]);
        char byte;
        const bool started = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
        if (!started) {
            waitpid(pid, nullptr, 0);
            GTEST_SKIP() << "no mount namespace";
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        kill(pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "round " << round << ": still there a second after SIGTERM";
        }
        ASSERT_TRUE(EndedBy(status, SIGTERM)) << "round " << round << ": " << status;
        ASSERT_NE(std::string::npos, Log().find("stopped by signal SIGTERM(15)")) << round;
    }
}

// How the process ends, and what it reports, for each way of ending:
// one report in the life of the process, and an ignored signal still ignored.
TEST_F(CrashGuardTest, EachEndGivesItsOwnReport) {
    static std::string marker;
    marker = mDir.File("routine");
    const std::string stop = "\n======= Process /usr/sbin/cdrd (cdrd) has been stopped by signal ";
    const std::string dump = "\n======= Backtrace dump of the process /usr/sbin/cdrd (cdrd), ";
    const std::string term = stop + "SIGTERM(15)", hup = stop + "SIGHUP(1)",
                      tstp = stop + "SIGTSTP(20)", segv = dump + "got signal SIGSEGV(11) =======\n";
    auto guard = [&] { new CrashGuard(LogFile().c_str(), "cdrd", "/usr/sbin/cdrd", false, false); };
    // Signals raised in turn, with IGNORED ignored before the guard is set up.
    auto raising = [&](int ignored, std::vector<int> signals) {
        return [=] {
            if (ignored)
                signal(ignored, SIG_IGN);
            guard();
            for (int s : signals) raise(s);
        };
    };
    const struct {
        const char* what;
        std::function<void()> body;
        int signal;  // 0: exit status 1
        std::vector<std::string> reports;
        size_t footer;  // the width of a backtrace's closing rules; 0: no backtrace
    } cases[] = {
        {"a stop",
         [&] {
             umask(0);
             guard();
             raise(SIGTERM);
         },
         SIGTERM,
         {term},
         0},
        // A shell's background job: Ctrl-C and Ctrl-\ are not for it.
        {"SIGINT ignored", raising(SIGINT, {SIGINT, SIGTERM}), SIGTERM, {term}, 0},
        {"SIGQUIT ignored", raising(SIGQUIT, {SIGQUIT, SIGTERM}), SIGTERM, {term}, 0},
        {"hangup ignored", raising(SIGHUP, {SIGHUP, SIGTERM}), SIGTERM, {hup, term}, 0},
        {"a pause twice", raising(0, {SIGTSTP, SIGTSTP, SIGTERM}), SIGTERM, {tstp, term}, 0},
        {"hangup ignored, a fault", raising(SIGHUP, {SIGHUP, SIGSEGV}), SIGSEGV, {hup, segv}, 37},
        {"an exception with its reason",
         [&] {
             guard();
             CrashGuard::Abort("bad_alloc");
         },
         0,
         {dump + "caught C++ unhandled exception, reason: bad_alloc =======\n"},
         51},
        {"an unknown signal, seen by the user routine",
         [&] {
             guard();
             CrashGuard::SetUserRoutine(
                 [](int fault, int signal, void* data) {
                     WriteFile(marker, std::to_string(fault) + " " + std::to_string(signal) + " " +
                                           static_cast<const char*>(data));
                     return 0;
                 },
                 const_cast<char*>("data"));
             CrashGuard::FuneralProc(SIGUSR1);
         },
         SIGUSR1,
         {dump + "got signal Unknown(" + std::to_string(SIGUSR1) + ") =======\n"},
         37},
    };
    for (const auto& c : cases) {
        remove(LogFile().c_str());
        remove(marker.c_str());
        const int status = InChild(c.body);
        if (c.signal)
            EXPECT_TRUE(EndedBy(status, c.signal)) << c.what << ": " << status;
        else
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.what << ": " << status;
        const std::string log = Log();
        EXPECT_EQ(c.reports.size(), testing_support::Count(log, "\n======= ")) << c.what << log;
        size_t at = 0;
        for (const std::string& report : c.reports) {
            at = log.find(report, at);
            ASSERT_NE(std::string::npos, at)
                << c.what << ": no " << report << " in order in " << log;
            at += report.size();
            if (report.compare(0, stop.size(), stop) == 0) {  // then the time of day
                EXPECT_TRUE(std::regex_search(log.substr(at),
                                              std::regex("^ at [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
                                                         "=======\n")))
                    << log;
            }
        }
        if (c.footer) {
            const std::string footer = Footer(c.footer);
            ASSERT_GE(log.size(), footer.size()) << c.what;
            EXPECT_EQ(footer, log.substr(log.size() - footer.size())) << c.what;
        }
        if (&c == &cases[0]) {  // made under umask 0
            struct stat st;
            ASSERT_EQ(0, stat(LogFile().c_str(), &st));
            EXPECT_EQ(0666u, st.st_mode & 0777);
        }
    }
    EXPECT_EQ("1 " + std::to_string(SIGUSR1) + " data", ReadFile(marker));
}

TEST_F(CrashGuardTest, SystemLogGetsTheReportsAsData) {
    const std::string captured = mDir.File("syslog");
    int status = InChild([&] {
        if (!EnterPrivateMounts({"/dev"}))
            _exit(kNoNamespace);
        int sock = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        strcpy(addr.sun_path, "/dev/log");
        if (bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            _exit(2);
        std::string all;
        for (int sig : {SIGTERM, SIGBUS}) {
            fflush(nullptr);
            pid_t pid = fork();
            if (pid == 0) {
                new CrashGuard(nullptr, "100% cdrd", "/usr/sbin/%s", true, false);
                raise(sig);
                _exit(0);
            }
            // Read while the child logs: a full socket queue would hold its syslog calls.
            int inner = 0;
            for (bool ended = false;;) {
                char buf[8192];
                ssize_t n = recv(sock, buf, sizeof buf, MSG_DONTWAIT);
                if (n > 0) {
                    all.append(buf, static_cast<size_t>(n)).append("|");
                    continue;
                }
                if (ended)
                    break;
                ended = waitpid(pid, &inner, WNOHANG) == pid;
                if (!ended)
                    usleep(1000);
            }
            if (!EndedBy(inner, sig))
                _exit(3);
        }
        WriteFile(captured, all);
    });
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNoNamespace)
        GTEST_SKIP() << "no mount namespace";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string log = ReadFile(captured);
    // <12>: user facility, warning; <11>: user facility, error.
    EXPECT_TRUE(
        std::regex_search(log, std::regex("<12>[^|]*100% cdrd\\[[0-9]+\\]: \n======= Process "
                                          "/usr/sbin/%s \\(100% cdrd\\) has been stopped "
                                          "by signal SIGTERM\\(15\\)")))
        << log;
    EXPECT_TRUE(
        std::regex_search(log, std::regex("<11>[^|]*: \n======= Backtrace dump of the process "
                                          "/usr/sbin/%s \\(100% cdrd\\), got signal "
                                          "SIGBUS\\(7\\)")))
        << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("<11>[^|]*:  0x[0-9a-f]+: ")));
    EXPECT_NE(std::string::npos,
              log.find("========= End of Backtace of the 100% cdrd =========\n"));
}

namespace {

// Starts the probe script through CreateProcess and returns what it saw.
std::string Probe(TempDir& dir, const char* args) {
    const std::string out = dir.File("probe");
    remove(out.c_str());
    setenv("PROBE_OUT", out.c_str(), 1);
    // From the handler every signal is blocked; the new program must not inherit that.
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    unsigned long id = 0;
    EXPECT_EQ(1, CrashGuard::CreateProcess(ARGV_PROBE, args, &id));
    sigprocmask(SIG_SETMASK, &old, nullptr);
    EXPECT_GT(id, 1u);
    for (int i = 0; i < 400 && access(out.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    return ReadFile(out);
}

std::string Arguments(const std::string& probe) {
    return probe.substr(0, probe.find("fd0="));  // the argument lines
}

}  // namespace

// The download command's process: arguments split at single blanks, at
// most 15 of at most 255 bytes; detached, with a pipe for its standard input
// and output, and no signal blocked.
TEST_F(CrashGuardTest, CreateProcessStartsADetachedProgram) {
    std::string sixteen, fifteen = "argc=15\n";
    for (int i = 1; i <= 16; ++i) {
        sixteen += (i > 1 ? " w" : "w") + std::to_string(i);
        if (i < 15)
            fifteen += "[w" + std::to_string(i) + "]\n";
    }
    const std::string longWord(300, 'x');
    const std::pair<const char*, std::string> cases[] = {
        {"one two three", "argc=3\n[one]\n[two]\n[three]\n"},
        {nullptr, "argc=0\n"},
        {"", "argc=0\n"},
        {"one  two", "argc=3\n[one]\n[]\n[two]\n"},
        {sixteen.c_str(), fifteen + "[w15 w16]\n"},
        {longWord.c_str(), "argc=1\n[" + std::string(255, 'x') + "]\n"},
    };
    for (const auto& [args, expected] : cases) EXPECT_EQ(expected, Arguments(Probe(mDir, args)));

    const std::string probe = Probe(mDir, "x");
    EXPECT_NE(std::string::npos, probe.find("fd0=pipe fd1=pipe same-pipe=yes fd2=closed\n"))
        << probe;
    EXPECT_NE(std::string::npos, probe.find("SigBlk:\t0000000000000000\n")) << probe;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(probe, m, std::regex("session=([0-9]+) pid=([0-9]+)")));
    EXPECT_EQ(m[1], m[2]);  // a session of its own

    // A program that cannot be run still counts as started.
    unsigned long id = 0;
    EXPECT_EQ(1, CrashGuard::CreateProcess("/nonexistent/program", "a b", &id));
    EXPECT_NE(0u, id);
}

// In a shared /tmp another user may make the log directory first, or plant
// links in it: then neither the trace log nor a crash report is written
// there, and nothing is written through a link.
TEST_F(CrashGuardTest, ReportsStayOutOfForeignPlaces) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a directory to another user";
    const std::string logs = mDir.File("logs"), log = logs + "/cdr.log";
    const std::string victim = mDir.File("victim"), victimDir = mDir.File("victim.d");
    struct Case {
        const char* what;
        std::function<bool()> plant;  // false: cannot be set up here
        bool written;
    };
    auto dir = [&](mode_t mode, uid_t owner) {
        return mkdir(logs.c_str(), 0) == 0 && chmod(logs.c_str(), mode) == 0 &&
               chown(logs.c_str(), owner, owner) == 0;
    };
    const Case cases[] = {
        {"a directory of the daemon's user", [&] { return dir(0755, 0); }, true},
        {"a directory of another user", [&] { return dir(0755, 65534); }, false},
        {"a directory others may write", [&] { return dir(0777, 0); }, false},
        // As /tmp is: no one may remove or rename another's file there.
        {"root's, sticky, others may write", [&] { return dir(01777, 0); }, true},
        {"another user's, sticky", [&] { return dir(01777, 65534); }, false},
        {"a file of another user in a sticky one",
         [&] {
             if (!dir(01777, 0))
                 return false;
             WriteFile(log, "");
             return chown(log.c_str(), 65534, 65534) == 0;
         },
         false},
        {"a FIFO in a sticky one", [&] { return dir(01777, 0) && mkfifo(log.c_str(), 0666) == 0; },
         false},
        {"a second name of a file in a sticky one",
         [&] { return dir(01777, 0) && link(victim.c_str(), log.c_str()) == 0; }, false},
        {"a link to a directory", [&] { return symlink(victimDir.c_str(), logs.c_str()) == 0; },
         false},
        {"a link in place of the file",
         [&] { return dir(0755, 0) && symlink(victim.c_str(), log.c_str()) == 0; }, false},
    };
    for (const Case& c : cases) {
        std::system(("rm -rf " + logs + " " + victimDir).c_str());
        WriteFile(victim, "root only\n");
        mkdir(victimDir.c_str(), 0700);
        ASSERT_TRUE(c.plant()) << c.what;
        alarm(20);  // a FIFO that is waited for ends the test
        int status = InChild([&] {
            LogStream stream(log.c_str(), true, true, INT32_MAX, 1, 8192, false);
            stream.TRACE("a trace line\n", 3, 0);
            stream.Flush();
            new CrashGuard(log.c_str(), "cdrd", "/usr/sbin/cdrd", false, false);
            raise(SIGTERM);
        });
        alarm(0);
        EXPECT_TRUE(EndedBy(status, SIGTERM)) << c.what;
        EXPECT_EQ("root only\n", ReadFile(victim)) << c.what;
        struct stat st;  // a FIFO is not read here either
        const bool regular = lstat(log.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        const std::string text = regular ? ReadFile(log) : "";
        EXPECT_EQ(c.written, text.find("a trace line\n") == 0) << c.what;
        EXPECT_EQ(c.written, text.find("stopped by signal SIGTERM") != std::string::npos) << c.what;
        EXPECT_EQ(0, rmdir(victimDir.c_str())) << c.what << ": something was written there";
    }
}
