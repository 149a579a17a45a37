// CDRManager: the automatic statistics download settings and the download
// commands. The rules themselves live in download/.
#include <exception>

#include "cdr/CDRManager.h"
#include "download/DownloadSettings.h"
#include "download/StatisticsDownload.h"
#include "platform/config/DurableFile.h"
#include "platform/config/RecordFile.h"
#include "platform/sys/System.h"

namespace {
const char* const kStatFile = StatisticsDownload::kFile;
}

bool CDRManager::InitAutoDownloadSettings() {
    std::vector<Problem> problems;
    try {
        DownloadSettings::ReadAutoDownload(&mAutoDownload, &problems);
        NoteSettings("InitAutoDownloadSettings", "sysconfig/rc.conf", problems);
        if (mAutoDownload) {
            int32_t count = mDownloadCount;
            const bool found = DownloadSettings::ReadDownloadCount(&count, &problems);
            NoteSettings("InitAutoDownloadSettings", "auto-down-stat.conf", problems);
            if (found) {
                // A lowered count that the collected records already pass
                // downloads them now, before it takes effect.
                if (count < mDownloadCount && mpStatFile && count < mpStatFile->GetSectionCount())
                    OnDownloadNow();
                mDownloadCount = count;
            }
            if (!mpStatFile)
                OpenStatistics();
        } else {
            delete mpStatFile;  // unsaved: turning download off discards what was collected
            mpStatFile = nullptr;
            Configuration::DurableFile::CheckPath(kStatFile);
            System::Default().Unlink(kStatFile);
            // The journals' statistics records are discarded with the file.
            mJournals.Saved(-1);
            mHealth.SettingsRead("auto-down-stat.conf", {});  // not in force now
            // Shown as the file has it; in force once the download is on.
            int32_t count = 0;
            mHealth.mDownloadCountRead =
                DownloadSettings::ReadDownloadCount(&count, nullptr) ? count : 0;
        }
    } catch (const std::exception& e) {
        TRACEX("InitAutoDownloadSettings: %s.\n", e.what());
        return false;
    }
    return true;
}

void CDRManager::OpenStatistics() {
    auto open = [] { return new Configuration::RecordFile(kStatFile, "section"); };
    try {
        mpStatFile = open();
    } catch (const std::exception& e) {
        // Unreadable, it would refuse every report: its records go aside, and
        // collecting starts afresh.
        ALERT("InitAutoDownloadSettings: %s.\n", e.what());
        const std::string aside = std::string(kStatFile) + ".damaged";
        if (Configuration::DurableFile::MoveAside(kStatFile, aside)) {
            ALERT("InitAutoDownloadSettings: %s moved aside to %s.\n", kStatFile, aside.c_str());
            mHealth.MovedAside(kStatFile, e.what(), aside);
        }
        mpStatFile = open();
    }
    KeepWhatWasRead(*mpStatFile, "InitAutoDownloadSettings");
}

int CDRManager::OnUpdateCDRDownloadSettings() {
    TRACEX("OnUpdateCDRDownloadSettings\n");
    return InitAutoDownloadSettings();
}

int CDRManager::OnDownloadNow() {
    TRACEX("OnDownloadNow\n");
    int result = 0;
    std::string why;
    try {
        result = StatisticsDownload::Deliver(mpStatFile, DeliveryHooks(), &why);
    } catch (const std::exception& e) {
        result = 0;
        why = e.what();
    }
    mHealth.Downloaded(result != 0, why);
    TRACEX("Download: %s!\n", result ? "done" : "failed");
    return result;
}
