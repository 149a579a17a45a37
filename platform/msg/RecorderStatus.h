#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/util/Problem.h"

// How the recorder stands: the answer to the status command (queue 111).
// Texts are cut to WireFormat::kMaxLongText bytes on the wire. Times are
// seconds since the epoch, 0 for never.
struct RecorderStatus {
    struct Database {
        std::string mName;  // "stated", "missed", "failed"
        std::string mPath;
        bool mOpen = false;
        uint32_t mRecords = 0;
        uint32_t mUnsaved = 0;     // records not yet in the saved file
        uint32_t mNotDurable = 0;  // records on no storage: a power cut would lose them
        uint32_t mLimit = 0;
        uint32_t mInterval = 0;
        uint32_t mNextId = 0;
        int64_t mLastSaveTime = 0;
        bool mLastSaveOk = true;
        std::string mLastSaveError;
    };
    Database mDatabases[3];
    bool mRecording = false;
    bool mDownload = false;
    uint32_t mCollected = 0;
    int32_t mDownloadCount = 0;
    int64_t mLastDownloadTime = 0;
    bool mLastDownloadOk = false;
    uint32_t mDroppedByCap = 0;
    bool mJournal = false;        // records are journaled on arrival
    std::string mJournalProblem;  // the last failure of a journal, or damage found in one
    // Every problem the recorder knows of, besides the databases' saves and
    // the journal's: settings, files moved aside, the trace log, refused
    // reports, a failed download. The wire carries as many as fit in an
    // answer, and how many it left out.
    std::vector<Problem> mProblems;
    uint32_t mProblemsLeftOut = 0;
};
