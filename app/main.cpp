// cdrd: the call detail recorder daemon. It takes no options.
#include <exception>
#include <string>

#include "cdr/CDRManager.h"
#include "diag/CrashGuard.h"

namespace {
const char kLogDirectory[] = "/tmp/logs/";
const char kLogName[] = "cdr.log";
}  // namespace

int main(int, char** argv) {
    const std::string logPath = std::string(kLogDirectory) + kLogName;
    CrashGuard guard(logPath.c_str(), "Call Detail Recorder", argv[0], true, false);
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
