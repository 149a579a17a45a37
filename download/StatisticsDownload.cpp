#include "download/StatisticsDownload.h"

#include "platform/config/MultiSectionFile.h"
#include "platform/statdl/DownloadStatistics.h"

int StatisticsDownload::Deliver(Configuration::MultiSectionFile* file, const Hooks& hooks,
                                std::string* why) {
    DownloadStatistics download;
    if (!hooks.mBefore(hooks.mData)) {
        if (why)
            *why = "the IDs it would hand out cannot be kept";
        return 0;
    }
    const int result = download.StartDownloadStatistics(file);
    if (result && file)
        hooks.mEmpty(*file, hooks.mData);
    if (!result && why)
        *why = download.Failure();
    return result;
}

StatisticsDownload::Step StatisticsDownload::CounterStep(Configuration::MultiSectionFile& file,
                                                         int32_t count, const Hooks& hooks) {
    Step step;
    // Signed throughout: a count read as negative makes every report due.
    int32_t n = file.GetSectionCount();
    const int32_t t = count;
    if (n < t)
        return step;
    const int32_t s = t / 10;
    // In 64 bits: with a very negative count the difference leaves 32.
    const int64_t over = int64_t{n} - t;
    step.mAttempted = s == 0 ? over == 0 : over % s == 0;
    if (step.mAttempted && Deliver(&file, hooks, &step.mFailure)) {
        step.mDelivered = true;
        n = 0;
    }
    if (s > 0 && int64_t{n} >= 2 * int64_t{t}) {
        for (; step.mDropped < s; ++step.mDropped) {
            file.GotoLastSection();
            file.DeleteSection();
        }
    }
    return step;
}
