#pragma once

#include <cstdint>
#include <string>

namespace Configuration {
class MultiSectionFile;
}

// Handing the statistics file to the download library, and the rule that
// decides when a report triggers that on its own.
//
// Both operations work on the caller's statistics file object, which must be
// open, and let the configuration library's and the download library's
// exceptions pass. The caller serialises access to the file. Stateless.
class StatisticsDownload {
public:
    // The statistics file; the same path whatever the configuration.
    static constexpr char kFile[] = "/mnt/bbram/calldata/down_stat.log";

    // What the caller does around a delivery, given DATA: BEFORE runs just
    // before the collector command starts, so that nothing the caller holds
    // waits for it to be made durable, and may refuse the delivery (false);
    // EMPTY empties and saves the file after a delivery.
    struct Hooks {
        bool (*mBefore)(void* data);
        void (*mEmpty)(Configuration::MultiSectionFile& file, void* data);
        void* mData;
    };

    // One attempt with a new DownloadStatistics object; FILE may be null
    // (automatic download off). When the library reports the statistics
    // delivered and FILE is set, FILE is emptied and saved (HOOKS). Nonzero
    // when delivered; else *WHY, when given, says why not.
    static int Deliver(Configuration::MultiSectionFile* file, const Hooks& hooks,
                       std::string* why = nullptr);

    // What one counter step did.
    struct Step {
        bool mAttempted = false;
        bool mDelivered = false;
        int32_t mDropped = 0;  // oldest records dropped to hold the file at 2T
        std::string mFailure;  // why an attempt failed
    };

    // The counter step, run for each report before its record is added to
    // FILE. With N the records in FILE and T = COUNT, S = T / 10: nothing
    // below T; an attempt when N - T is a multiple of S (when S is 0, only at
    // N == T); then, while N is at least 2T and S > 0, the S oldest records
    // are dropped. Traces nothing; the caller may report what it did.
    static Step CounterStep(Configuration::MultiSectionFile& file, int32_t count,
                            const Hooks& hooks);
};
