// Cost of one trace line, as the daemon's callers pay it.
//
//   log_bench [DIR]
//
// Direct mode with a flush per line (the daemon's setting), and the caller's
// share in queued mode (composing and queueing; the writer thread writes).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "diag/LogManager.h"

namespace {

double NanosPerLine(unsigned int queueDepth, const std::string& path, int lines) {
    double best = 1e18;
    for (int run = 0; run < 5; ++run) {
        unlink(path.c_str());
        LogManager log(path.c_str(), true, true, queueDepth, 8192);
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < lines; ++i)
            log.TRACE("OnAddCDR: record %d added to database %d\n", i, i % 3);
        std::chrono::duration<double, std::nano> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count() / lines);
    }
    unlink(path.c_str());
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const std::string path = dir + "/log_bench.log";
    const int lines = 200000;
    printf("direct mode, flush per line: %.0f ns per line\n", NanosPerLine(0, path, lines));
    // A queue deep enough for the whole run measures the caller alone.
    printf("queued mode, caller's cost: %.0f ns per line\n", NanosPerLine(lines / 8, path, lines));
    return 0;
}
