// CDRManager: the status command, how the recorder stands.
#include <algorithm>

#include "cdr/CDRManager.h"
#include "diag/LogManager.h"
#include "platform/msg/CDRKind.h"
#include "platform/msg/QueueAddress.h"

namespace {}

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
            d.mName = KindName(i);
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
    s.mDownloadCount = mAutoDownload ? mDownloadCount : mHealth.mDownloadCountRead;
    s.mLastDownloadTime = mHealth.mLastDownload.mTime;
    s.mLastDownloadOk = mHealth.mLastDownload.mOk;
    s.mDroppedByCap = mHealth.mDroppedByCap;
    s.mJournal = mJournals.On();
    s.mJournalProblem = mJournals.Problem();
    s.mProblems = mHealth.Problems();
    if (mpLogger && !mpLogger->Problem().empty())
        s.mProblems.push_back(
            {mpLogger->Path(), 0, "", mpLogger->Problem(), "not written: the trace goes nowhere"});
    // What the queues refused, counted where it was refused.
    for (const CyclicMessageQueue* queue :
         {static_cast<const CyclicMessageQueue*>(static_cast<const CDRMessenger*>(this)),
          static_cast<const CyclicMessageQueue*>(static_cast<const CDRUpdateMessenger*>(this))}) {
        const CyclicMessageQueue::Counters& c = queue->GetCounters();
        const std::string where = QueueAddress::PathOf(queue->GetQueueId());
        if (!queue->OpenFailure().empty())
            s.mProblems.push_back(
                {where, 0, "", queue->OpenFailure(), "not listening; tried again each second"});
        if (c.mBadMessages > 0)
            s.mProblems.push_back(
                {where, 0, "",
                 std::to_string(c.mBadMessages) + " messages that were no message of this queue",
                 "refused, and their parties closed"});
        if (c.mPartiesRefused > 0)
            s.mProblems.push_back({where, 0, "",
                                   std::to_string(c.mPartiesRefused) + " connections beyond " +
                                       std::to_string(CyclicMessageQueue::kMaxParties) + " parties",
                                   "refused"});
    }
    return s;
}
