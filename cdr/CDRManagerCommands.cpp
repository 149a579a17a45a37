// CDRManager: the web side's database commands and the party-state notices.
#include <exception>

#include "cdr/CDRKind.h"
#include "cdr/CDRManager.h"
#include "platform/config/RecordFile.h"
#include "platform/sys/System.h"

int CDRManager::OnClear(int mask) {
    TRACEX("OnClear\n");
    int result = 1;
    {
        ThreadMutexLock hold(*mpFiles->mpLock);
        try {
            for (int i = 0; i < 3; ++i) {
                if (!(mask & kCDRKinds[i]) || !mpFiles->mpFile[i])
                    continue;
                // What the journal holds of them must not come back either.
                if (CDRJournal* journal = mpJournals[i]) {
                    const uint32_t next = mpFiles->mNextId[i];
                    Journaled("OnClear",
                              [&] { journal->Cleared(kCDRKinds[i], next, CDRJournal::kDatabase); });
                }
                mpFiles->mpFile[i]->ClearAll();
                mHealth.mUnsaved[i] = 0;  // the records are gone, saved or not
                SaveDatabase(i, "OnClear");
            }
            if (mAutoDownload && mpStatFile)
                SaveStatistics("OnClear");
        } catch (const std::exception&) {
            // Start every selected database afresh from an empty file.
            try {
                for (int i = 0; i < 3; ++i) {
                    if (!(mask & kCDRKinds[i]))
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
                    if (!(mask & kCDRKinds[i]))
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
