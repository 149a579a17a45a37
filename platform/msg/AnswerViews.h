#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/msg/RecordQuery.h"
#include "platform/msg/RecorderStatus.h"

// The daemon's status and records answers as WireFormat::DecodeStatus and
// DecodeRecords read them in place: every text is a view of the datagram,
// which must outlive the view. The page reads them so on the device, where a
// copy of each text into a string of its own costs code as well as time;
// RecorderStatus and RecordPage are the same answers with texts of their own.
// WireFormat.cpp, which knows the layout, defines the members below.

// A problem of the status (see Problem).
struct ProblemView {
    std::string_view mFile;
    unsigned mLine = 0;
    std::string_view mKey, mFound, mWhat;
};

// RecorderStatus, field for field.
struct StatusView {
    struct Database {
        std::string_view mName, mPath;
        bool mOpen = false;
        uint32_t mRecords = 0, mUnsaved = 0, mNotDurable = 0, mLimit = 0, mInterval = 0;
        uint32_t mNextId = 0;
        int64_t mLastSaveTime = 0;
        bool mLastSaveOk = true;
        std::string_view mLastSaveError;
    };
    // The problems, in a block of their own.
    class Problems {
    public:
        const ProblemView* begin() const { return mList.get(); }
        const ProblemView* end() const { return mList.get() + mSize; }
        size_t size() const { return mSize; }
        bool empty() const { return mSize == 0; }
        void Resize(size_t size) {
            mList.reset(size ? new ProblemView[size] : nullptr);
            mSize = size;
        }
        ProblemView& operator[](size_t i) { return mList[i]; }

    private:
        std::unique_ptr<ProblemView[]> mList;
        size_t mSize = 0;
    };
    Database mDatabases[3];
    bool mRecording = false;
    bool mDownload = false;
    uint32_t mCollected = 0;
    int32_t mDownloadCount = 0;
    int64_t mLastDownloadTime = 0;
    bool mLastDownloadOk = false;
    uint32_t mDroppedByCap = 0;
    bool mJournal = false;
    std::string_view mJournalProblem;
    Problems mProblems;
    uint32_t mProblemsLeftOut = 0;

    // Out of line: a status is forty fields, and the page makes several.
    StatusView();
    StatusView(StatusView&&) = default;
    StatusView& operator=(StatusView&&) = default;
    // The same with texts of their own.
    void Copy(RecorderStatus* status) const;
};

// One records answer: RecordPage, with its list still in the answer's
// bytes, read one record after the other by Next.
struct RecordsView {
    struct Record {
        uint8_t mDb = 0;
        bool mCut = false;
        std::string_view mText;
    };
    bool mOpen[3] = {false, false, false};
    uint32_t mRecords[3] = {0, 0, 0};
    bool mCounted = false;
    uint32_t mMatches = 0;
    bool mEnd = true;
    RecordCursor mNext;
    size_t mCount = 0;       // records in the list
    std::string_view mList;  // their bytes, checked by the decoder

    // The record at *AT (0 for the first) into *RECORD, and *AT moved past
    // it; false after the last.
    bool Next(size_t* at, Record* record) const;
    // The same with texts of their own.
    void Copy(RecordPage* page) const;
};

// The records of one read, from as many answers as it took: the first
// answer's counts, and the lists of all one after the other in mBytes,
// which mView.mList views (so a copy would view the original's).
struct RecordList {
    RecordList() = default;
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;

    RecordsView mView;
    std::string mBytes;
};
