// CDRManager: the status command, how the recorder stands.
#include <algorithm>

#include "cdr/CDRManager.h"

namespace {
const char* const kNames[3] = {"stated", "missed", "failed"};
}

int CDRManager::OnStatus() {
    TRACEX("OnStatus\n");
    Status(CurrentStatus());
    return 1;
}

RecorderStatus CDRManager::CurrentStatus() {
    SyncJournals();
    RecorderStatus s;
    {
        ThreadMutexLock hold(*mpFiles->mpLock);
        const std::string* configured[3] = {&mSettings.mStatedFile, &mSettings.mMissedFile,
                                            &mSettings.mFailedFile};
        for (int i = 0; i < 3; ++i) {
            RecorderStatus::Database& d = s.mDatabases[i];
            d.mName = kNames[i];
            // The path in use; before any opening, the one the settings give.
            d.mPath = mpFiles->mFileName[i].empty() ? *configured[i] : mpFiles->mFileName[i];
            d.mOpen = mpFiles->mpFile[i] != nullptr;
            d.mRecords = d.mOpen ? static_cast<uint32_t>(mpFiles->mpFile[i]->GetSectionCount()) : 0;
            d.mUnsaved = mHealth.mUnsaved[i];
            // A record the limit trimmed is not owed any more.
            d.mNotDurable = std::min(mJournals.NotDurable(i), d.mRecords);
            d.mLimit = mpFiles->mMaxRecords[i];
            d.mInterval = mpFiles->mSaveInterval[i];
            d.mNextId = mpFiles->mNextId[i];
            d.mLastSaveTime = mHealth.mLastSave[i].mTime;
            d.mLastSaveOk = mHealth.mLastSave[i].mOk;
            d.mLastSaveError = mHealth.mLastSave[i].mError;
        }
        s.mCollected = mpStatFile ? static_cast<uint32_t>(mpStatFile->GetSectionCount()) : 0;
    }
    s.mRecording = mSettings.mCDREnabled != 0;
    s.mDownload = mAutoDownload != 0;
    s.mDownloadCount = mDownloadCount;
    s.mLastDownloadTime = mHealth.mLastDownload.mTime;
    s.mLastDownloadOk = mHealth.mLastDownload.mOk;
    s.mDroppedByCap = mHealth.mDroppedByCap;
    s.mJournal = mJournals.On();
    s.mJournalProblem = mJournals.Problem();
    const SettingProblem& p = mHealth.mSettingsProblem;
    s.mProblemFile = p.mFile;
    s.mProblemLine = p.mLine;
    s.mProblemKey = p.mKey;
    s.mProblemFound = p.mFound;
    s.mProblemWhat = p.mWhat;
    return s;
}
