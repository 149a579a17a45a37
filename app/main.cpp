// cdrd: the call detail recorder daemon.
#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/InstanceLock.h"
#include "cdr/CDRManager.h"
#include "diag/CrashGuard.h"
#include "diag/LogManager.h"
#include "platform/sys/System.h"

namespace {
const char kLogDirectory[] = "/tmp/logs/";
const char kLogName[] = "cdr.log";
// Records are private data, also when cdrd is started by hand.
const mode_t kDefaultMask = 027;

const char kUsage[] =
    "usage: cdrd [--umask MODE]\n"
    "       cdrd --help | --version\n"
    "\n"
    "The call detail recorder: takes call reports on $MSGQ_DIR/q15 and commands on\n"
    "$MSGQ_DIR/q111 (default /var/run/msgq), keeps the records in the databases that\n"
    "the settings under $KELT_PATH name (default /etc/kelt-conf/), and runs until a\n"
    "signal ends it; SIGTERM is the orderly way. It traces to /tmp/logs/cdr.log.\n"
    "--umask MODE  the file-creation mask, in octal (default 027: the records are\n"
    "              for the daemon's user and group only).\n"
    "Exit status: 1 another cdrd is running, or an exception ended it; 2 a usage\n"
    "error. A signal ends it with the signal's status.\n";

// The file-creation mask the command line asks for; false on a usage error.
bool ParseArguments(int argc, char** argv, mode_t* mask, bool* done) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            fputs(kUsage, stdout);
            *done = true;
        } else if (arg == "--version") {
            printf("cdrd %s\n", CDR_VERSION);
            *done = true;
        } else if (arg == "--umask" && i + 1 < argc) {
            char* end;
            const unsigned long value = strtoul(argv[++i], &end, 8);
            if (!*argv[i] || *end || value > 0777) {
                fprintf(stderr, "cdrd: --umask takes an octal mode such as 027, not '%s'\n",
                        argv[i]);
                return false;
            }
            *mask = static_cast<mode_t>(value);
        } else {
            fprintf(stderr, "cdrd: unknown argument '%s'\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    mode_t mask = kDefaultMask;
    bool done = false;
    if (!ParseArguments(argc, argv, &mask, &done))
        return 2;
    if (done)
        return 0;
    System::Default().Umask(mask);
    const std::string logPath = std::string(kLogDirectory) + kLogName;
    CrashGuard guard(logPath.c_str(), "Call Detail Recorder", argv[0], true, false);
    // One recorder per queues and databases: a second one ends before it
    // reads a file, where the operator looks.
    InstanceLock lock;
    std::string why;
    if (!lock.Acquire(&why)) {
        fprintf(stderr, "cdrd: %s; this one ends.\n", why.c_str());
        syslog(LOG_ERR, "%s; this one ends.", why.c_str());
        LogManager(kLogName, true, true, 0, 8192).TRACE("cdrd: %s; this one ends.\n", why.c_str());
        return 1;
    }
    try {
        CDRManager manager;
        manager.Run();
    } catch (const std::exception& e) {
        CrashGuard::Abort(e.what());
    } catch (...) {
        CrashGuard::Abort("Unknown exception in main");
    }
    return 0;
}
