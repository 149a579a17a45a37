#pragma once

#include <cstdint>
#include <string>

#include "platform/util/SettingProblem.h"

// What the recorder knows of how it stands beyond the databases' own
// counters, for the status command: the outcome of each file's last save,
// the records not yet on storage, the downloads, and the last settings
// problem. Owned by CDRManager and used on its thread, under its lock where
// the databases are.
struct CDRHealth {
    struct Outcome {
        int64_t mTime = 0;  // seconds since the epoch; 0: none yet
        bool mOk = true;
        std::string mError;  // the library's error text when not ok

        void Done(bool ok, std::string error = std::string());
    };

    Outcome mLastSave[3];        // of each record database
    uint32_t mUnsaved[3] = {};   // records of each database not yet on storage
    Outcome mStatisticsSave;     // of the statistics file
    Outcome mLastDownload;       // mTime 0: no download tried yet
    uint32_t mDroppedByCap = 0;  // statistics records dropped at twice download_cnt
    SettingProblem mSettingsProblem;

    // Notes the problems of one reading of FILE: the last one found stays
    // until a reading of that file finds none.
    template <class Problems>
    void SettingsRead(const std::string& file, const Problems& problems) {
        if (!problems.empty())
            mSettingsProblem = problems.back();
        else if (mSettingsProblem.mFile == file)
            mSettingsProblem = SettingProblem();
    }
};
