// CDRManager: the automatic statistics download settings and the download
// commands. The rules themselves live in download/.
#include <unistd.h>

#include <exception>

#include "cdr/CDRManager.h"
#include "download/DownloadSettings.h"
#include "download/StatisticsDownload.h"

namespace {
const char kStatFile[] = "/mnt/bbram/calldata/down_stat.log";
}

bool CDRManager::InitAutoDownloadSettings() {
    try {
        DownloadSettings::ReadAutoDownload(&mAutoDownload);
        if (mAutoDownload) {
            int32_t count = mDownloadCount;
            if (DownloadSettings::ReadDownloadCount(&count)) {
                // A lowered count that the collected records already pass
                // downloads them now, before it takes effect.
                if (count < mDownloadCount && mpStatFile && count < mpStatFile->GetSectionCount())
                    OnDownloadNow();
                mDownloadCount = count;
            }
            if (!mpStatFile)
                mpStatFile = new Configuration::MultiSectionFile(
                    kStatFile, true, false, false, "section", "{\n", "}\n", "=", "#", nullptr);
        } else {
            delete mpStatFile;  // unsaved: turning download off discards what was collected
            mpStatFile = nullptr;
            unlink(kStatFile);
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

int CDRManager::OnUpdateCDRDownloadSettings() {
    TRACEX("OnUpdateCDRDownloadSettings\n");
    return InitAutoDownloadSettings();
}

int CDRManager::OnDownloadNow() {
    TRACEX("OnDownloadNow\n");
    int result = 0;
    try {
        result = StatisticsDownload::Deliver(mpStatFile);
    } catch (...) {
        result = 0;
    }
    TRACEX("Download: %s!\n", result ? "done" : "failed");
    return result;
}
