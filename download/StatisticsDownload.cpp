#include "download/StatisticsDownload.h"

#include "platform/config/MultiSectionFile.h"
#include "platform/statdl/DownloadStatistics.h"

int StatisticsDownload::Deliver(Configuration::MultiSectionFile* file) {
    DownloadStatistics download;
    const int result = download.StartDownloadStatistics(file);
    if (result && file) {
        file->ClearAll();
        file->Save(true, nullptr);
    }
    return result;
}

void StatisticsDownload::CounterStep(Configuration::MultiSectionFile& file, int32_t count) {
    // Signed throughout: a count read as negative makes every report due.
    int32_t n = file.GetSectionCount();
    const int32_t t = count;
    if (n < t)
        return;
    const int32_t s = t / 10;
    // In 64 bits: with a very negative count the difference leaves 32.
    const int64_t over = int64_t{n} - t;
    const bool due = s == 0 ? over == 0 : over % s == 0;
    if (due && Deliver(&file))
        n = 0;
    if (s > 0 && int64_t{n} >= 2 * int64_t{t}) {
        for (int32_t i = 0; i < s; ++i) {
            file.GotoLastSection();
            file.DeleteSection();
        }
    }
}
