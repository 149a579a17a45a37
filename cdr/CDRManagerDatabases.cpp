// CDRManager: opening, numbering and sizing the three record databases.

#include <cstdint>
#include <exception>

#include "cdr/CDRManager.h"
#include "platform/config/DurableFile.h"
#include "platform/config/RecordFile.h"
#include "platform/msg/CDRKind.h"
#include "platform/util/DecimalText.h"
#include "platform/util/NumberText.h"

bool CDRManager::InitFiles(const char* statedPath, const char* missedPath, const char* failedPath) {
    const char* const paths[3] = {statedPath, missedPath, failedPath};
    if (!OpenFiles(paths))
        return false;
    for (int i = 0; i < 3; ++i) {
        if (!paths[i])
            continue;
        mpFiles->mFileName[i] = paths[i];
        KeepWhatWasRead(*mpFiles->mpFile[i], "InitFiles");
        FindNextId(i);
    }
    return true;
}

bool CDRManager::OpenFiles(const char* const paths[3]) {
    for (;;) {
        std::string why[3];
        bool failed[3] = {};
        for (int i = 0; i < 3; ++i) {
            if (!paths[i])
                continue;
            delete mpFiles->mpFile[i];  // opened before: replaced, never leaked
            mpFiles->mpFile[i] = nullptr;
            try {
                mpFiles->mpFile[i] = new Configuration::RecordFile(paths[i]);
            } catch (const std::exception& e) {
                ALERT("InitFiles: %s calls database: %s.\n", KindName(i), e.what());
                why[i] = e.what();
                failed[i] = true;
            }
        }
        if (!failed[0] && !failed[1] && !failed[2])
            return true;
        for (Configuration::MultiSectionFile*& file : mpFiles->mpFile) {
            delete file;
            file = nullptr;
        }
        if (mMovedAside)
            return false;
        mMovedAside = true;
        // Only a file that cannot be read leaves its path, and its records
        // are kept beside it; the others are opened again as they are.
        for (int i = 0; i < 3; ++i) {
            if (!failed[i] || !*paths[i])
                continue;
            const std::string aside = std::string(paths[i]) + ".damaged";
            try {
                if (Configuration::DurableFile::MoveAside(paths[i], aside)) {
                    ALERT("InitFiles: %s moved aside to %s.\n", paths[i], aside.c_str());
                    mHealth.MovedAside(paths[i], why[i], aside);
                }
            } catch (const std::exception& e) {
                ALERT("InitFiles: %s.\n", e.what());
            }
        }
    }
}

void CDRManager::FindNextId(int i) {
    Configuration::MultiSectionFile& db = *mpFiles->mpFile[i];
    if (!db.GotoFirstSection())
        return;
    if (db.GetSectionEntry("ID", mpFiles->mpValueBuf, CDRFiles::kValueBufSize)) {
        // Read as the device reads it, whatever the host: 2^32 and more is 2^32 - 1.
        mpFiles->mNextId[i] = NumberText::LeadingUnsigned32(mpFiles->mpValueBuf) + 1;
        return;
    }
    try {
        // No ID in the newest record: number them all, newest highest.
        mpFiles->mNextId[i] = static_cast<uint32_t>(db.GetSectionCount()) - 1;
        db.Restart();
        while (db.GotoNextSection()) {
            DecimalText::Unsigned(mpFiles->mNextId[i], mpFiles->mpValueBuf);
            --mpFiles->mNextId[i];
            db.SetSectionEntry("ID", mpFiles->mpValueBuf);
        }
        SaveDatabase(i, "InitFiles");
        mpFiles->mNextId[i] = static_cast<uint32_t>(db.GetSectionCount());
    } catch (const std::exception&) {
        mpFiles->mNextId[i] = 0;
    }
}

void CDRManager::KeepWhatWasRead(const Configuration::MultiSectionFile& file,
                                 const char* operation) {
    const Configuration::ReadNotes& notes = file.Notes();
    if (notes.Empty())
        return;
    TRACEX("%s: %s.\n", operation, notes.Describe(file.GetPath()).c_str());
    if (!notes.DroppedText())
        return;
    // The next save would lose the lines that were skipped: keep the file as it was.
    const std::string aside = file.GetPath() + ".damaged";
    try {
        Configuration::DurableFile::KeepAside(file.GetPath(), aside);
        ALERT("%s: %s as read is kept in %s.\n", operation, file.GetPath().c_str(), aside.c_str());
        mHealth.Event({file.GetPath(), 0, "", "text that is no record",
                       "left out; the file as read is kept in " + aside});
    } catch (const std::exception& e) {
        ALERT("%s: %s.\n", operation, e.what());
    }
}

void CDRManager::SaveDatabase(int i, const char* operation) {
    try {
        mpFiles->mpFile[i]->Save(true, nullptr);
    } catch (const std::exception& e) {
        mHealth.mLastSave[i].Done(false, e.what());
        ALERT("%s: %s.\n", operation, e.what());
        throw;
    }
    mHealth.mLastSave[i].Done(true);
    mHealth.mUnsaved[i] = 0;
    mJournals.Saved(i);
}

void CDRManager::SaveStatistics(const char* operation) {
    try {
        mpStatFile->Save(true, nullptr);
    } catch (const std::exception& e) {
        mHealth.mStatisticsSave.Done(false, e.what());
        ALERT("%s: %s.\n", operation, e.what());
        throw;
    }
    mHealth.mStatisticsSave.Done(true);
    mJournals.Saved(-1);
}

bool CDRManager::TrimOldest(int i, uint32_t limit) {
    Configuration::MultiSectionFile& db = *mpFiles->mpFile[i];
    // 64 bits: a limit above 2^31 must not turn the excess positive.
    const int64_t excess = static_cast<int64_t>(db.GetSectionCount()) - static_cast<int64_t>(limit);
    for (int64_t k = 0; k < excess; ++k) {
        db.GotoLastSection();
        db.DeleteSection();
    }
    return excess > 0;
}

bool CDRManager::InitSizes(uint32_t statedMax, uint32_t missedMax, uint32_t failedMax,
                           uint32_t statedInterval, uint32_t missedInterval,
                           uint32_t failedInterval) {
    const uint32_t limits[3] = {statedMax, missedMax, failedMax};
    const uint32_t intervals[3] = {statedInterval, missedInterval, failedInterval};
    ThreadMutexLock hold(*mpFiles->mpLock);
    for (int i = 0; i < 3; ++i) {
        if (limits[i] != 0) {
            if (mpFiles->mpFile[i]) {
                try {
                    if (TrimOldest(i, limits[i]))
                        SaveDatabase(i, "InitSizes");
                } catch (const std::exception&) {
                    // The database stays as it is (traced); its new limit still holds.
                }
            }
            mpFiles->mMaxRecords[i] = limits[i];
        }
        if (intervals[i] != 0)
            mpFiles->mSaveInterval[i] = intervals[i];
    }
    return true;
}

bool CDRManager::IsCDRFilesExist() {
    return mpFiles->mpFile[0] && mpFiles->mpFile[1] && mpFiles->mpFile[2];
}
