// cdrd: the call detail recorder daemon. It takes no options.
#include <syslog.h>

#include <cstdio>
#include <exception>
#include <string>

#include "app/InstanceLock.h"
#include "cdr/CDRManager.h"
#include "diag/CrashGuard.h"
#include "diag/LogManager.h"

namespace {
const char kLogDirectory[] = "/tmp/logs/";
const char kLogName[] = "cdr.log";
}  // namespace

int main(int, char** argv) {
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
