#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The read command of queue 111: which records the web side wants to see,
// and the page of them that the recorder answers with. RecordSearch gives
// the meaning; docs/protocol.md the bytes.
//
// Databases are named by their index here: 0 stated, 1 missed, 2 failed.
// Records of several databases come as one list, newest first: of the
// databases' next records (each database is newest first) the one that
// started last comes first, so each database keeps its own order.

// Where a list stopped, so that the next request takes up after it however
// many records arrive or are trimmed meanwhile: per database, the ID of the
// last record taken.
struct RecordCursor {
    uint8_t mSet = 0;  // bit 1 << db: mId[db] holds a position
    uint32_t mId[3] = {0, 0, 0};
};

struct RecordQuery {
    static constexpr uint16_t kPageSize = 50;

    uint8_t mKinds = 7;  // the databases to read: 1 stated, 2 missed, 4 failed
    // One record in full: the one with ID mId in the one database of mKinds.
    bool mById = false;
    uint32_t mId = 0;
    // Criteria; each holds for a record that has the key and matches.
    // Texts match as substrings, ignoring ASCII case; "" matches anything.
    std::string mParty;          // caller or called
    std::string mCaller;         // "caller"
    std::string mCalled;         // "called"
    int64_t mSince = INT64_MIN;  // mSince <= "ST" < mUntil, seconds
    int64_t mUntil = INT64_MAX;
    uint32_t mMinDuration = 0;  // "dur" >= this
    // Paging: the matches after mAfter (from the newest when unset), less
    // the first mSkip, at most mLimit of them. mCount asks for the number
    // of matches too, which costs a pass over the databases.
    RecordCursor mAfter;
    uint32_t mSkip = 0;
    uint16_t mLimit = kPageSize;
    bool mCount = true;

    bool HasCriteria() const {
        return !mParty.empty() || !mCaller.empty() || !mCalled.empty() || mSince != INT64_MIN ||
               mUntil != INT64_MAX || mMinDuration != 0;
    }
};

struct RecordPage {
    struct Record {
        uint8_t mDb = 0;
        bool mCut = false;  // too long for an answer: its text ends early
        // The record's entry lines as the record files hold them ("key=value\n",
        // escaped as docs/file-format.md says).
        std::string mText;
    };

    bool mOpen[3] = {false, false, false};  // the database is open
    uint32_t mRecords[3] = {0, 0, 0};       // records in each database
    bool mCounted = false;
    uint32_t mMatches = 0;  // records that match, after mAfter (when counted)
    // The records, in list order; fewer than asked for when the answer had
    // no room for more (mEnd false: ask again from mNext).
    std::vector<Record> mList;
    bool mEnd = true;    // no match follows the last record of mList
    RecordCursor mNext;  // after the last record of mList
};
