// What a read command holds cdrd's lock for: RecordSearch over three saved
// record databases, as OnReadRecords runs it in the daemon.
//
//   read_bench STATED MISSED FAILED
//
// Prints one line per request: the best of 25 runs, in microseconds, so a
// busy moment of the machine does not count against the code.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "platform/config/RecordFile.h"
#include "platform/msg/RecordSearch.h"
#include "platform/msg/WireFormat.h"

namespace {

double BestMicroseconds(const RecordQuery& query,
                        const Configuration::MultiSectionConfigFile* const files[3],
                        RecordPage* page) {
    double best = 1e30;
    for (int run = 0; run < 25; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        RecordSearch::Run(query, files, WireFormat::kRecordsRoom, page);
        const std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: read_bench STATED MISSED FAILED\n");
        return 2;
    }
    std::unique_ptr<Configuration::RecordFile> dbs[3];
    const Configuration::MultiSectionConfigFile* files[3];
    for (int db = 0; db < 3; ++db) {
        dbs[db].reset(new Configuration::RecordFile(argv[db + 1]));
        files[db] = dbs[db].get();
    }
    struct Request {
        const char* what;
        RecordQuery query;
    };
    Request requests[6];
    requests[0] = {"page 1 of all three", RecordQuery()};
    requests[1] = {"page 150 of the stated calls", RecordQuery()};
    requests[1].query.mKinds = 1;
    requests[1].query.mSkip = 149 * RecordQuery::kPageSize;
    requests[2] = {"one record by ID", RecordQuery()};
    requests[2].query.mKinds = 2;
    requests[2].query.mById = true;
    requests[2].query.mId = 5000;
    requests[3] = {"search: party \"reception\", page 1, counted", RecordQuery()};
    requests[3].query.mParty = "reception";
    requests[4] = {"search: caller \"sip:2\", at least 600 s, page 2, counted", RecordQuery()};
    requests[4].query.mCaller = "sip:2";
    requests[4].query.mMinDuration = 600;
    requests[4].query.mSkip = RecordQuery::kPageSize;
    requests[5] = {"search: a number no call has, counted", RecordQuery()};
    requests[5].query.mParty = "+0000000";
    printf("| request | records | matches | lock held |\n|---|---:|---:|---:|\n");
    for (const Request& r : requests) {
        RecordPage page;
        const double us = BestMicroseconds(r.query, files, &page);
        printf("| %s | %zu | %u | %.0f us |\n", r.what, page.mList.size(), page.mMatches, us);
    }
    return 0;
}
