#include "cdr/CDRJournals.h"

#include <algorithm>
#include <exception>

#include "platform/msg/CDRKind.h"
#include "platform/sys/System.h"

CDRJournals::~CDRJournals() {
    for (CDRJournal* journal : mpJournals) delete journal;
}

CDRJournal* CDRJournals::Journal(int i) {
    if (!mpJournals[i] && mOn && !mPaths[i].empty())
        mpJournals[i] = new CDRJournal(mPaths[i]);
    return mpJournals[i];
}

template <class Work>
bool CDRJournals::Try(const char* operation, Work&& work) {
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        mFailure = e.what();
        mpAlert("%s: %s.\n", operation, e.what());
        return false;
    }
}

CDRJournal::Contents CDRJournals::Read(int i) {
    CDRJournal::Contents contents;
    if (mPaths[i].empty())
        return contents;
    // Read whether on or off: what it holds is owed to the files.
    if (!mpJournals[i])
        mpJournals[i] = new CDRJournal(mPaths[i]);
    CDRJournal* journal = mpJournals[i];
    Try("RecoverJournals", [&] { contents = journal->Read(); });
    if (!contents.damage.empty()) {
        mDamage = contents.damage;
        mpAlert("RecoverJournals: %s; moved aside to %s.damaged.\n", contents.damage.c_str(),
                journal->Path().c_str());
    }
    for (const CDRJournal::Frame& frame : contents.frames)
        mSequence = std::max(mSequence, frame.sequence + 1);
    if (!mOn && !journal->Waiting()) {
        Try("RecoverJournals", [&] { journal->Remove(); });
        delete journal;
        mpJournals[i] = nullptr;
    }
    return contents;
}

void CDRJournals::Added(int i, int kind, uint32_t id, unsigned scopes, std::string_view lines) {
    const bool database = scopes & CDRJournal::kDatabase;
    mNotDurable[i] += database;
    CDRJournal* journal = mOn ? Journal(i) : nullptr;
    if (!journal)
        return;
    // After a failed append the records that follow count as not durable
    // too, until their database is saved: so those not durable are always
    // the newest.
    if (!Try("OnAddCDR", [&] { journal->Added(kind, id, mSequence++, scopes, lines); }))
        mLost[i] = true;
    else if (!mBroken[i] && !mLost[i])
        mUnsynced[i] += database;
    // Durable once the loop syncs, before it waits again, or, while reports
    // keep coming without a pause, once the first has waited kDelayMs.
    int64_t ms;
    if (!System::Default().MonotonicMs(&ms))
        return Sync();
    if (mSyncDue == 0)
        mSyncDue = ms + kDelayMs;
    else if (ms >= mSyncDue)
        Sync();
}

void CDRJournals::Delivered(const uint32_t next[3]) {
    for (int i = 0; i < 3; ++i)
        if (CDRJournal* journal = mpJournals[i])
            Try("Download",
                [&] { journal->Cleared(kCDRKinds[i], next[i], CDRJournal::kStatistics); });
    Sync();
}

void CDRJournals::Saved(int i) {
    if (i >= 0) {
        mNotDurable[i] = mUnsynced[i] = 0;
        mLost[i] = false;
    }
    const unsigned scope = i < 0 ? CDRJournal::kStatistics : CDRJournal::kDatabase;
    for (int j = 0; j < 3; ++j) {
        CDRJournal* journal = mpJournals[j];
        if (!journal || (i >= 0 && j != i))
            continue;
        bool reset = false;
        if (!Try("Save", [&] { reset = journal->Saved(scope); }) || !reset)
            continue;
        mBroken[j] = false;  // started afresh
        if (!mOn) {          // found at the start, and no longer owed anything
            Try("Save", [&] { journal->Remove(); });
            delete journal;
            mpJournals[j] = nullptr;
        }
    }
    Healed();
}

void CDRJournals::Sync() {
    mSyncDue = 0;
    for (int i = 0; i < 3; ++i) {
        CDRJournal* journal = mpJournals[i];
        if (!journal || !journal->Pending())
            continue;
        if (Try("SyncJournals", [&] { journal->Sync(); }))
            mNotDurable[i] -= mUnsynced[i];
        else
            mBroken[i] = true;  // what was appended may be gone: none of it counts until a reset
        mUnsynced[i] = 0;
    }
    Healed();
}

void CDRJournals::Healed() {
    for (int i = 0; i < 3; ++i)
        if (mBroken[i] || mLost[i] || (mOn && mNotDurable[i] > 0))
            return;
    mFailure.clear();
}
