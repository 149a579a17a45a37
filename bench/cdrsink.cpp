// cdrsink: a stand-in receiver for the queue throughput figure.
//
//   cdrsink --count N [--seed S]
//
// Listens on queues 15 and 111 like the daemon, expects exactly the reports
// that `cdrsend --random N --seed S` sends, in order, and compares each one
// field by field. Answers clear, flush, update-settings and status (all well) at once. Ends after
// N reports, printing the count, mismatches and the rate; exit 0 when every
// report matched.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "messaging/CDRCommonMessenger.h"
#include "tools/RandomReports.h"

namespace {

class Sink : public CDRCommonMessenger {
public:
    Sink(long count, uint32_t seed) : mCount(count), mExpected(seed) {}

    int OnAddCDR(int kind, const CallDetailReport& report,
                 const CallStatistics* statistics) override {
        if (mReceived == 0)
            mStart = std::chrono::steady_clock::now();
        WireMessage expected;
        mExpected.Next(&expected);
        if (kind != expected.mKind || !(report == expected.mReport) || !statistics ||
            !(*statistics == expected.mStatistics))
            ++mMismatches;
        if (++mReceived == mCount)
            Stop();
        return 1;
    }
    int OnClear(int mask) override { return Clear(mask); }
    int OnFlush(int mask) override { return Flush(mask); }
    int OnUpdateCDRSettings() override { return UpdateCDRSettings(); }
    int OnStatus() override {
        RecorderStatus healthy;
        for (RecorderStatus::Database& d : healthy.mDatabases) d.mOpen = true;
        return Status(healthy);
    }

    long mCount;
    long mReceived = 0;
    long mMismatches = 0;
    RandomReports mExpected;
    std::chrono::steady_clock::time_point mStart;
};

}  // namespace

int main(int argc, char** argv) {
    long count = -1, seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string opt = argv[i];
        if (opt == "--count")
            count = atol(argv[i + 1]);
        else if (opt == "--seed")
            seed = atol(argv[i + 1]);
    }
    if (count < 0) {
        fprintf(stderr, "usage: cdrsink --count N [--seed S]\n");
        return 2;
    }
    Sink sink(count, static_cast<uint32_t>(seed));
    sink.SelectQueues();
    fprintf(stderr, "cdrsink: listening\n");
    if (count > 0)
        sink.WaitForMessagingEvent();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - sink.mStart;
    printf(
        "cdrsink: %ld reports in order, %ld mismatches, %.0f reports/s through socket and "
        "decoder\n",
        sink.mReceived, sink.mMismatches, took.count() > 0 ? sink.mReceived / took.count() : 0);
    return sink.mMismatches == 0 && sink.mReceived == count ? 0 : 1;
}
