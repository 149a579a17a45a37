// The record path inside the daemon: OnAddCDR on three databases at their
// limit of 1,000 records, with varied, realistic reports.
//
//   record_path_bench [--no-saves]
//
// Prints CPU time and heap allocations per record with saves left out (the
// save interval is larger than the run), and the same with a save every 10
// records. Every malloc, calloc and realloc of the process is counted, and
// each is put down to the file library when a function of the Configuration
// namespace is on the stack, else to the handler itself.
// Runs in a private mount namespace when it can, so the trace log goes to a
// private /tmp/logs.
#include <dlfcn.h>
#include <execinfo.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cdr/CDRManager.h"
#include "tests/support/PrivateMounts.h"
#include "tools/RandomReports.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}

namespace {
unsigned long gAllocations = 0;
unsigned long gLibraryAllocations = 0;
bool gAttributing = false;  // off while filling, and against recursion

// True when a frame of the configuration library is on the stack. Needs the
// executable's symbols exported (-rdynamic) for dladdr to name them.
bool FromFileLibrary() {
    void* frames[48];
    int n = backtrace(frames, 48);
    for (int i = 2; i < n; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) && info.dli_sname &&
            std::strstr(info.dli_sname, "13Configuration"))
            return true;
    }
    return false;
}

void Count() {
    ++gAllocations;
    if (gAttributing) {
        gAttributing = false;
        if (FromFileLibrary())
            ++gLibraryAllocations;
        gAttributing = true;
    }
}
}  // namespace

extern "C" void* malloc(size_t n) {
    Count();
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t a, size_t b) {
    Count();
    return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, size_t n) {
    Count();
    return __libc_realloc(p, n);
}

namespace {

void Measure(const char* title, const std::string& settings, const std::string& base) {
    FILE* f = fopen((base + "sysconfig/general_settings.conf").c_str(), "w");
    fputs(settings.c_str(), f);
    fclose(f);
    for (const char* db : {"CDR_db", "missed_calls_db", "unsuccess_calls_db"})
        unlink((base + "telephony/" + db).c_str());
    CDRManager manager;
    RandomReports reports(3);
    // Pre-made messages, so that only the record path is measured.
    // A pool whose length is not a multiple of the 3,000 records kept, so that a new
    // record does not simply replace one of the same size.
    std::vector<WireMessage> messages(4093);
    for (WireMessage& m : messages) reports.Next(&m);
    for (int i = 0; i < 3000; ++i)  // fill all three to their limit of 1,000
        manager.OnAddCDR(messages[i].mKind, messages[i].mReport, &messages[i].mStatistics);
    const int kRecords = 30000;
    const unsigned long before = gAllocations;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kRecords; ++i) {
        const WireMessage& m = messages[i % messages.size()];
        manager.OnAddCDR(m.mKind, m.mReport, &m.mStatistics);
    }
    std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - t0;
    const unsigned long all = gAllocations - before;
    // A second pass over the same records, with each allocation looked up,
    // kept out of the timing above.
    const unsigned long library = gLibraryAllocations, counted = gAllocations;
    gAttributing = true;
    for (int i = 0; i < kRecords; ++i) {
        const WireMessage& m = messages[(kRecords + i) % messages.size()];
        manager.OnAddCDR(m.mKind, m.mReport, &m.mStatistics);
    }
    gAttributing = false;
    const unsigned long attributed = gAllocations - counted;
    const unsigned long byLibrary = gLibraryAllocations - library;
    // The trace line alone, to the same log: a write system call per line.
    auto t1 = std::chrono::steady_clock::now();
    for (int i = 0; i < kRecords; ++i) CDRManager::TRACEX("OnAddCDR\n");
    std::chrono::duration<double, std::nano> trace = std::chrono::steady_clock::now() - t1;
    printf("%s: %.0f ns and %.3f heap allocations per record\n", title, took.count() / kRecords,
           double(all) / kRecords);
    printf("  of the time: %.0f ns the trace line (measured alone), %.0f ns the rest\n",
           trace.count() / kRecords, (took.count() - trace.count()) / kRecords);
    printf(
        "  allocations, in a second pass: %.3f by the handler itself, %.3f by the file library\n",
        double(attributed - byLibrary) / kRecords, double(byLibrary) / kRecords);
}

}  // namespace

int main(int argc, char** argv) {
    const bool noSaves = argc > 1 && std::strcmp(argv[1], "--no-saves") == 0;
    if (geteuid() == 0)
        testing_support::EnterPrivateMounts({"/tmp/logs"});
    char dir[] = "/tmp/cdrbench.XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string base = std::string(dir) + "/";
    mkdir((base + "sysconfig").c_str(), 0755);
    mkdir((base + "telephony").c_str(), 0755);
    setenv("KELT_PATH", base.c_str(), 1);
    setenv("MSGQ_DIR", (base + "msgq").c_str(), 1);
    Measure("OnAddCDR at the limit, no saves",
            "CDR_STATED_SAVE_INTERVAL=1000000\nCDR_MISSED_SAVE_INTERVAL=1000000\n"
            "CDR_FAILED_SAVE_INTERVAL=1000000\n",
            base);
    if (!noSaves)
        Measure("OnAddCDR at the limit, a durable save every 10 records", "", base);
    std::string rm = std::string("rm -rf ") + dir;
    return system(rm.c_str()) == 0 ? 0 : 1;
}
