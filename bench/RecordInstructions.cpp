// The record path for instruction counting: fills three databases to their
// limit of 20 records, then handles COUNT more reports, saves left out.
//
//   record_instructions COUNT
//
// Run it twice with different counts under an instruction counter
// (valgrind --tool=callgrind on the host, qemu-ppc -singlestep -d exec on
// PowerPC); the difference divided by the difference of the counts is the
// instructions per record, with start-up and filling cancelled out.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cdr/CDRManager.h"
#include "tests/support/PrivateMounts.h"
#include "tools/RandomReports.h"

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const int count = std::atoi(argv[1]);
    if (geteuid() == 0)
        testing_support::EnterPrivateMounts({"/tmp/logs"});
    char dir[] = "/tmp/cdrinsn.XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string base = std::string(dir) + "/";
    mkdir((base + "sysconfig").c_str(), 0755);
    setenv("KELT_PATH", base.c_str(), 1);
    FILE* f = fopen((base + "sysconfig/general_settings.conf").c_str(), "w");
    for (const char* kind : {"STATED", "MISSED", "FAILED"})
        fprintf(f, "CDR_%s_MAX=20\nCDR_%s_SAVE_INTERVAL=1000000000\n", kind, kind);
    fclose(f);
    std::vector<WireMessage> pool(409);
    RandomReports reports(3);
    for (WireMessage& m : pool) reports.Next(&m);
    {
        CDRManager manager;
        for (int i = 0; i < 60 + count; ++i) {
            const WireMessage& m = pool[i % pool.size()];
            manager.OnAddCDR(m.mKind, m.mReport, &m.mStatistics);
        }
    }
    const std::string rm = "rm -rf " + std::string(dir);
    return system(rm.c_str()) == 0 ? 0 : 1;
}
