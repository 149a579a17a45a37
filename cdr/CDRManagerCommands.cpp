// CDRManager: the web side's database commands and the party-state notices.
#include <exception>

#include "cdr/CDRManager.h"
#include "platform/config/RecordFile.h"
#include "platform/msg/CDRKind.h"
#include "platform/sys/System.h"

int CDRManager::OnClear(int mask) {
    TRACEX("OnClear\n");
    int result = 1;
    {
        ThreadMutexLock hold(*mpFiles->mpLock);
        // A clear is decided once its database's IDs file says so: a crash
        // after that finishes it at the next start, and the IDs go on. A
        // database whose IDs file cannot be written is not cleared, and its
        // failed save shows.
        int cleared = 0;
        for (int i = 0; i < 3; ++i) {
            if (!(mask & kCDRKinds[i]) || !mpFiles->mpFile[i])
                continue;
            if (KeepIds(i, true, "OnClear"))
                cleared |= kCDRKinds[i];
            else
                result = 0;
        }
        try {
            for (int i = 0; i < 3; ++i) {
                if (!(cleared & kCDRKinds[i]))
                    continue;
                mpFiles->mpFile[i]->ClearAll();
                mHealth.mUnsaved[i] = 0;  // the records are gone, saved or not
                mJournals.Saved(i);       // and none of them may come back
                SaveDatabase(i, "OnClear");
            }
            if (mAutoDownload && mpStatFile)
                SaveStatistics("OnClear");
        } catch (const std::exception&) {
            // Start every database cleared afresh from an empty file.
            try {
                for (int i = 0; i < 3; ++i) {
                    if (!(cleared & kCDRKinds[i]))
                        continue;
                    delete mpFiles->mpFile[i];
                    mpFiles->mpFile[i] = nullptr;
                    System::Default().Unlink(mpFiles->mFileName[i].c_str());
                    mpFiles->mpFile[i] =
                        new Configuration::RecordFile(mpFiles->mFileName[i].c_str());
                    mHealth.mUnsaved[i] = 0;
                }
            } catch (const std::exception& e) {
                ALERT("OnClear: %s; the selected databases are closed.\n", e.what());
                for (int i = 0; i < 3; ++i) {
                    if (!(cleared & kCDRKinds[i]))
                        continue;
                    delete mpFiles->mpFile[i];
                    mpFiles->mpFile[i] = nullptr;
                }
                result = 0;
            }
        }
    }
    Clear(mask);
    return result;
}

int CDRManager::OnFlush(int mask) {
    TRACEX("OnFlush\n");
    int result = 1;
    {
        ThreadMutexLock hold(*mpFiles->mpLock);
        try {
            for (int i = 0; i < 3; ++i) {
                if (!(mask & kCDRKinds[i]) || !mpFiles->mpFile[i] || mpFiles->mUnsavedCount[i] == 0)
                    continue;
                mpFiles->mUnsavedCount[i] = 0;
                SaveDatabase(i, "OnFlush");
            }
            if (mAutoDownload && mpStatFile)
                SaveStatistics("OnFlush");
        } catch (const std::exception&) {
            result = 0;
        }
    }
    Flush(mask);
    return result;
}

int CDRManager::OnUpdateCDRSettings() {
    TRACEX("OnUpdateCDRSettings\n");
    if (!IsCDRFilesExist()) {
        TRACEX("OnUpdateCDRSettings: CDR files are not created.\n");
        UpdateCDRSettings();
        return 0;
    }
    GetCDRData();
    ReadJournalSetting();
    InitSizes(mSettings.mStatedMaxRecords, mSettings.mMissedMaxRecords, mSettings.mFailedMaxRecords,
              mSettings.mStatedSaveInterval, mSettings.mMissedSaveInterval,
              mSettings.mFailedSaveInterval);
    UpdateCDRSettings();
    return 1;
}

void CDRManager::OnCDRPartyStateChanged(bool connected) {
    TRACEX("OnCDRPartyStateChanged: CDR is %s.\n", connected ? "connected" : "disconnected");
}

int CDRManager::OnCgiPartyStateChanged(bool connected) {
    TRACEX("OnCgiPartyStateChanged: CGI messenger is %s.\n",
           connected ? "connected" : "disconnected");
    return 0;
}
