#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/util/Problem.h"

// What the recorder knows of how it stands beyond the databases' own
// counters, for the status command: the outcome of each file's last save,
// the records not yet on storage, the downloads, and every problem it
// found. Owned by CDRManager and used on its thread, under its lock where
// the databases are.
struct CDRHealth {
    struct Outcome {
        int64_t mTime = 0;  // seconds since the epoch; 0: none yet
        bool mOk = true;
        std::string mError;  // the library's error text when not ok

        void Done(bool ok, std::string error = std::string());
    };

    Outcome mLastSave[3];            // of each record database
    uint32_t mUnsaved[3] = {};       // records of each database not yet on storage
    Outcome mStatisticsSave;         // of the statistics file
    Outcome mLastDownload;           // mTime 0: no download tried yet
    Problem mDownloadFailure;        // of the last download; empty when it went well
    int32_t mDownloadCountRead = 0;  // download_cnt as the file has it, while download is off
    uint32_t mDroppedByCap = 0;      // statistics records dropped at twice download_cnt
    // The problems of the last reading of each settings file, by its name
    // under the base.
    std::map<std::string, std::vector<Problem>> mSettings;
    // What the recorder did that the operator should know of (files moved
    // aside), oldest first: the first kMaxEvents, then a count.
    static constexpr size_t kMaxEvents = 16;
    std::vector<Problem> mEvents;
    uint32_t mEventsLeftOut = 0;
    // Reports refused, by reason.
    std::map<std::string, uint32_t> mRefused;

    void SettingsRead(const std::string& name, const std::vector<Problem>& problems) {
        if (problems.empty())
            mSettings.erase(name);
        else
            mSettings[name] = problems;
    }
    // Notes a download's outcome, and WHY it failed.
    void Downloaded(bool ok, const std::string& why);
    // Notes EVENT, with the time of day in what was done.
    void Event(Problem event);
    // Notes that the file at PATH was moved to ASIDE as it could not be read
    // (WHY, the library's error text, which may begin with the path).
    void MovedAside(const std::string& path, std::string why, const std::string& aside);
    // Every problem, settings first, then events, refusals and the download.
    std::vector<Problem> Problems() const;
};
