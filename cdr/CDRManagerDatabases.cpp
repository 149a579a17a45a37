// CDRManager: opening, numbering and sizing the three record databases.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "cdr/CDRManager.h"

namespace {

Configuration::MultiSectionFile* OpenDatabase(const char* path) {
    return new Configuration::MultiSectionFile(path, true, false, false, nullptr, "{\n", "}\n", "=",
                                               "#", nullptr);
}

}  // namespace

bool CDRManager::InitFiles(const char* statedPath, const char* missedPath, const char* failedPath) {
    // Deleting the files is a one-time remedy for the life of the process.
    static bool deletedOnce = false;
    const char* const paths[3] = {statedPath, missedPath, failedPath};
    CDRFiles& f = *mpFiles;
    for (;;) {
        try {
            for (int i = 0; i < 3; ++i) {
                if (!paths[i])
                    continue;
                delete f.mpFile[i];  // opened before: replaced, never leaked
                f.mpFile[i] = nullptr;
                f.mpFile[i] = OpenDatabase(paths[i]);
            }
            break;
        } catch (const std::exception&) {
            for (Configuration::MultiSectionFile*& file : f.mpFile) {
                delete file;
                file = nullptr;
            }
            if (deletedOnce)
                return false;
            deletedOnce = true;
            for (const char* path : paths)
                if (path)
                    unlink(path);
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (!paths[i])
            continue;
        f.mFileName[i] = paths[i];
        Configuration::MultiSectionFile& db = *f.mpFile[i];
        if (!db.GotoFirstSection())
            continue;
        if (db.GetSectionEntry("ID", f.mpValueBuf, CDRFiles::kValueBufSize)) {
            f.mNextId[i] = static_cast<uint32_t>(strtoul(f.mpValueBuf, nullptr, 10)) + 1;
            continue;
        }
        try {
            // No ID in the newest record: number them all, newest highest.
            f.mNextId[i] = static_cast<uint32_t>(db.GetSectionCount()) - 1;
            db.Restart();
            while (db.GotoNextSection()) {
                snprintf(f.mpValueBuf, CDRFiles::kValueBufSize, "%u", f.mNextId[i]);
                --f.mNextId[i];
                db.SetSectionEntry("ID", f.mpValueBuf);
            }
            db.Save(true, nullptr);
            f.mNextId[i] = static_cast<uint32_t>(db.GetSectionCount());
        } catch (const std::exception&) {
            f.mNextId[i] = 0;
        }
    }
    return true;
}

bool CDRManager::InitSizes(uint32_t statedMax, uint32_t missedMax, uint32_t failedMax,
                           uint32_t statedInterval, uint32_t missedInterval,
                           uint32_t failedInterval) {
    const uint32_t limits[3] = {statedMax, missedMax, failedMax};
    const uint32_t intervals[3] = {statedInterval, missedInterval, failedInterval};
    CDRFiles& f = *mpFiles;
    ThreadMutexLock hold(*f.mpLock);
    for (int i = 0; i < 3; ++i) {
        if (limits[i] != 0) {
            if (Configuration::MultiSectionFile* db = f.mpFile[i]) {
                try {
                    // 64 bits: a limit above 2^31 must not turn the excess positive.
                    const int64_t excess = static_cast<int64_t>(db->GetSectionCount()) -
                                           static_cast<int64_t>(limits[i]);
                    if (excess > 0) {
                        for (int64_t k = 0; k < excess; ++k) {
                            db->GotoLastSection();
                            db->DeleteSection();
                        }
                        db->Save(true, nullptr);
                    }
                } catch (const std::exception&) {
                    // The database stays as it is; its new limit still holds.
                }
            }
            f.mMaxRecords[i] = limits[i];
        }
        if (intervals[i] != 0)
            f.mSaveInterval[i] = intervals[i];
    }
    return true;
}

bool CDRManager::IsCDRFilesExist() {
    return mpFiles->mpFile[0] && mpFiles->mpFile[1] && mpFiles->mpFile[2];
}
