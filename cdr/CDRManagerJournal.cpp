// CDRManager: what makes records durable and IDs unique beyond the
// databases' own saves: the journals, the IDs files, and the recovery
// that puts back what a crash left in them.
#include <algorithm>
#include <exception>
#include <vector>

#include "cdr/CDRManager.h"
#include "download/StatisticsDownload.h"
#include "platform/config/DurableFile.h"
#include "platform/config/MultiSectionFile.h"
#include "platform/msg/CDRKind.h"
#include "platform/sys/System.h"
#include "platform/util/GeneralSettingsAccessor.h"
#include "platform/util/NumberText.h"

void CDRManager::ReadJournalSetting() {
    GeneralSettingsAccessor* settings = GeneralSettingsAccessor::GetInstance(true);
    if (!settings)
        return;  // GetCDRData has traced it
    if (!settings->IsBad(GeneralSettingsAccessor::kJournal))
        mJournals.SetOn(settings->Get(GeneralSettingsAccessor::kJournal) != 0);
    GeneralSettingsAccessor::CloseInstance();
}

bool CDRManager::KeepIds(int i, bool clear, const char* operation) {
    CDRIds::Kept kept = mKeptIds[i];
    kept.mFound = true;
    kept.mNext = mpFiles->mNextId[i];
    if (clear) {
        kept.mCleared = true;
        kept.mFirstKept = mpFiles->mNextId[i];
    }
    try {
        CDRIds::Write(mpFiles->mFileName[i], kept);
    } catch (const std::exception& e) {
        mHealth.mLastSave[i].Done(false, e.what());
        ALERT("%s: %s.\n", operation, e.what());
        return false;
    }
    mKeptIds[i] = kept;
    return true;
}

namespace {

// The ID of the current section, if it has one.
bool IdOf(const Configuration::MultiSectionFile& file, uint32_t* id) {
    char text[32];
    if (!file.GetSectionEntry("ID", text, sizeof text))
        return false;
    *id = NumberText::LeadingUnsigned32(text);
    return true;
}

}  // namespace

void CDRManager::SyncFound(const std::string& path) {
    try {
        Configuration::DurableFile::SyncDirectoriesOf(path);
    } catch (const std::exception& e) {
        ALERT("RecoverJournals: %s.\n", e.what());
    }
}

void CDRManager::RecoverJournals() {
    // The frames outlive the steps: the statistics file takes them from all three.
    CDRJournal::Contents contents[3];
    std::vector<const CDRJournal::Frame*> statistics;
    for (int i = 0; i < 3; ++i)
        if (mpFiles->mpFile[i])
            RecoverDatabase(i, &contents[i], &statistics);
    if (mpStatFile)
        RecoverStatistics(&statistics);
    else
        mJournals.Saved(-1);  // not collecting: their statistics records have no file to go to
}

void CDRManager::RecoverDatabase(int i, CDRJournal::Contents* contents,
                                 std::vector<const CDRJournal::Frame*>* statistics) {
    Configuration::MultiSectionFile* db = mpFiles->mpFile[i];
    const std::string& path = mpFiles->mFileName[i];
    uint32_t& next = mpFiles->mNextId[i];
    bool changed = false;
    SyncFound(path);
    try {
        mKeptIds[i] = CDRIds::Read(path);
    } catch (const std::exception& e) {
        ALERT("RecoverJournals: %s.\n", e.what());
    }
    const CDRIds::Kept& kept = mKeptIds[i];
    if (kept.mFound)
        next = CDRIds::Later(next, kept.mNext);
    if (kept.mCleared) {
        // A clear is decided by the IDs file: what a crash kept of the
        // records before it goes now.
        next = CDRIds::Later(next, kept.mFirstKept);
        uint32_t id;
        for (db->Restart(); db->GotoNextSection();)
            if (IdOf(*db, &id) && CDRIds::Before(id, kept.mFirstKept)) {
                db->DeleteSection();
                changed = true;
            }
    }
    mJournals.SetPath(i, path);
    const CDRJournal::Contents& c = *contents = mJournals.Read(i);
    if (c.tornTail)
        TRACEX("RecoverJournals: %s.journal ends in a record cut short, left out.\n", path.c_str());
    std::vector<const CDRJournal::Frame*> frames;
    for (const CDRJournal::Frame& frame : c.frames) {
        statistics->push_back(&frame);
        // IDs go on after every one the journal gave, in the files or not.
        next = CDRIds::Later(next, frame.added ? frame.id + 1 : frame.id);
        if (!kept.mCleared || !CDRIds::Before(frame.id, kept.mFirstKept))
            frames.push_back(&frame);
    }
    if (!c.frames.empty()) {
        const uint32_t recovered =
            CDRJournal::Replay(*db, kCDRKinds[i], CDRJournal::kDatabase, frames);
        TRACEX("RecoverJournals: %u records recovered from %s.journal.\n", recovered, path.c_str());
        // Saved even when the file had them all: the journal is reset
        // only after a save of this process made them durable.
        changed = true;
    }
    if (!changed)
        return;
    try {
        TrimOldest(i, mpFiles->mMaxRecords[i]);
        SaveDatabase(i, "RecoverJournals");  // traces a failure; the journal keeps them
    } catch (const std::exception&) {
    }
}

void CDRManager::RecoverStatistics(std::vector<const CDRJournal::Frame*>* statistics) {
    SyncFound(StatisticsDownload::kFile);
    if (!statistics->empty()) {
        std::sort(statistics->begin(), statistics->end(),
                  [](const CDRJournal::Frame* a, const CDRJournal::Frame* b) {
                      return a->sequence < b->sequence;
                  });
        const uint32_t recovered =
            CDRJournal::Replay(*mpStatFile, 0, CDRJournal::kStatistics, *statistics);
        TRACEX("RecoverJournals: %u records recovered into %s.\n", recovered,
               StatisticsDownload::kFile);
        // Drops that the counter step made since the last save hold again.
        const int64_t cap = mDownloadCount / 10 > 0 ? 2 * int64_t{mDownloadCount} : 0;
        for (; cap > 0 && mpStatFile->GetSectionCount() > cap; ++mHealth.mDroppedByCap) {
            mpStatFile->GotoLastSection();
            mpStatFile->DeleteSection();
        }
        try {
            SaveStatistics("RecoverJournals");
        } catch (const std::exception&) {
        }
    }
    // A record saved in the statistics file but not in its database
    // still took its ID.
    bool seen[3] = {};
    char type[16];
    uint32_t id;
    for (mpStatFile->Restart(); mpStatFile->GotoNextSection();) {
        if (!mpStatFile->GetSectionEntry("type", type, sizeof type))
            continue;
        const int k = CDRKindIndex(NumberText::LeadingSigned32(type));
        if (k >= 0 && !seen[k] && IdOf(*mpStatFile, &id) && mpFiles->mpFile[k]) {
            mpFiles->mNextId[k] = CDRIds::Later(mpFiles->mNextId[k], id + 1);
            seen[k] = true;
        }
    }
}

bool CDRManager::BeforeDelivery(void* data) {
    CDRManager& m = *static_cast<CDRManager*>(data);
    m.SyncJournals();
    // What goes out keeps its IDs, whatever becomes of the databases.
    bool kept = true;
    for (int i = 0; i < 3; ++i) {
        const CDRIds::Kept& ids = m.mKeptIds[i];
        if (!m.mpFiles->mFileName[i].empty() &&
            (!ids.mFound || CDRIds::Before(ids.mNext, m.mpFiles->mNextId[i])))
            kept = m.KeepIds(i, false, "Download") && kept;
    }
    return kept;
}

void CDRManager::EmptyStatistics(Configuration::MultiSectionFile& file, void* data) {
    CDRManager& m = *static_cast<CDRManager*>(data);
    // Delivered: none of it may come back to go again.
    m.mJournals.Delivered(m.mpFiles->mNextId);
    file.ClearAll();
    m.SaveStatistics("Download");
}
