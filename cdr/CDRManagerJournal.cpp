// CDRManager: the journals, which make each record durable on arrival.
#include <algorithm>
#include <exception>
#include <vector>

#include "cdr/CDRKind.h"
#include "cdr/CDRManager.h"
#include "download/StatisticsDownload.h"
#include "platform/config/MultiSectionFile.h"
#include "platform/util/GeneralSettingsAccessor.h"

void CDRManager::ReadJournalSetting() {
    GeneralSettingsAccessor* settings = GeneralSettingsAccessor::GetInstance(true);
    if (!settings)
        return;  // GetCDRData has traced it
    if (!settings->IsBad(GeneralSettingsAccessor::kJournal))
        mJournalOn = settings->Get(GeneralSettingsAccessor::kJournal) != 0;
    GeneralSettingsAccessor::CloseInstance();
}

CDRJournal* CDRManager::JournalOf(int i) {
    if (!mpJournals[i] && !mpFiles->mFileName[i].empty())
        mpJournals[i] = new CDRJournal(mpFiles->mFileName[i]);
    return mpJournals[i];
}

void CDRManager::JournalsSaved(unsigned scope, const char* operation) {
    for (int i = 0; i < 3; ++i)
        if (CDRJournal* journal = mpJournals[i])
            Journaled(operation, [=] { journal->Saved(scope); });
}

void CDRManager::RecoverJournals() {
    CDRJournal::Contents contents[3];
    std::vector<const CDRJournal::Frame*> statistics;
    for (int i = 0; i < 3; ++i) {
        CDRJournal* journal = mpFiles->mpFile[i] ? JournalOf(i) : nullptr;
        if (!journal)
            continue;
        Journaled("RecoverJournals", [&] { contents[i] = journal->Read(); });
        const CDRJournal::Contents& c = contents[i];
        if (!c.damage.empty()) {
            mHealth.mJournalProblem = c.damage;
            ALERT("RecoverJournals: %s; moved aside to %s.damaged.\n", c.damage.c_str(),
                  journal->Path().c_str());
        }
        if (c.tornTail)
            TRACEX("RecoverJournals: %s ends in a record cut short, left out.\n",
                   journal->Path().c_str());
        std::vector<const CDRJournal::Frame*> frames;
        for (const CDRJournal::Frame& frame : c.frames) {
            frames.push_back(&frame);
            statistics.push_back(&frame);
            // IDs go on above every one the journal gave, in the files or not.
            const int k = CDRKindIndex(frame.kind);
            mpFiles->mNextId[k] =
                std::max(mpFiles->mNextId[k], frame.added ? frame.id + 1 : frame.id);
            mJournalSequence = std::max(mJournalSequence, frame.sequence + 1);
        }
        if (frames.empty())
            continue;
        const uint32_t recovered =
            CDRJournal::Replay(*mpFiles->mpFile[i], kCDRKinds[i], CDRJournal::kDatabase, frames);
        TRACEX("RecoverJournals: %u records recovered from %s.\n", recovered,
               journal->Path().c_str());
        try {
            TrimOldest(i, mpFiles->mMaxRecords[i]);
            SaveDatabase(i, "RecoverJournals");  // traces a failure; the journal keeps them
        } catch (const std::exception& e) {
            mHealth.mJournalProblem = e.what();
        }
    }
    if (mpStatFile && !statistics.empty()) {
        std::sort(statistics.begin(), statistics.end(),
                  [](const CDRJournal::Frame* a, const CDRJournal::Frame* b) {
                      return a->sequence < b->sequence;
                  });
        const uint32_t recovered =
            CDRJournal::Replay(*mpStatFile, 0, CDRJournal::kStatistics, statistics);
        TRACEX("RecoverJournals: %u records recovered into %s.\n", recovered,
               StatisticsDownload::kFile);
        Journaled("RecoverJournals", [&] { SaveStatistics("RecoverJournals"); });
    }
    // Not collecting: the journals' statistics records have no file to go to.
    if (!mpStatFile)
        JournalsSaved(CDRJournal::kStatistics, "RecoverJournals");
    if (!mJournalOn)
        for (CDRJournal* journal : mpJournals)
            if (journal)
                Journaled("RecoverJournals", [journal] { journal->Remove(); });
}

void CDRManager::SyncJournals() {
    mJournalSyncDue = 0;
    for (CDRJournal* journal : mpJournals)
        if (journal && journal->Pending())
            Journaled("SyncJournals", [journal] { journal->Sync(); });
}

void CDRManager::EmptyStatistics(Configuration::MultiSectionFile& file, void* data) {
    CDRManager& m = *static_cast<CDRManager*>(data);
    // Delivered: none of it may come back from a journal to go again.
    for (int i = 0; i < 3; ++i) {
        const uint32_t next = m.mpFiles->mNextId[i];
        if (CDRJournal* journal = m.mpJournals[i])
            m.Journaled("Download",
                        [&] { journal->Cleared(kCDRKinds[i], next, CDRJournal::kStatistics); });
    }
    file.ClearAll();
    m.SaveStatistics("Download");
}
