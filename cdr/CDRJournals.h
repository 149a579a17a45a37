#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cdr/CDRJournal.h"

// The journals of the three record databases (see CDRJournal), and the
// account of which records are durable.
//
// A record is durable once it is on storage: in its database's saved file,
// or in a journal that was synced after its append with no failed append
// or sync since that journal was last reset. So the records of a database
// that are not durable are always its newest. With the journal on, every record is
// appended on arrival, and Sync makes them durable: the manager calls it
// before it waits for the next message, before any answer, before any
// command or child process starts, and SyncIfDue while reports keep coming
// without a pause. A failed append or sync costs the database nothing but
// durability: its records stay in memory and go with the next save,
// counted as not durable until then, and the failure is alerted and kept
// for the status.
//
// With the journal off none is written; journals found at the start are
// read, and removed once the files they served are saved. Used on the
// manager's thread only; errors never pass out. ALERT traces a failure
// (and sends it to the system log); it must outlive the object.
class CDRJournals {
public:
    using Alert = void (*)(const char* format, ...);
    explicit CDRJournals(Alert alert) : mpAlert(alert) {}
    ~CDRJournals();
    CDRJournals(const CDRJournals&) = delete;
    CDRJournals& operator=(const CDRJournals&) = delete;

    void SetOn(bool on) { mOn = on; }
    bool On() const { return mOn; }
    // The journal of database I is DATABASE_PATH.journal.
    void SetPath(int i, const std::string& databasePath) { mPaths[i] = databasePath; }

    // Start-up: the frames of database I's journal, if there is one; a
    // damaged one is moved aside and alerted. The sequence goes on after
    // the frames'.
    CDRJournal::Contents Read(int i);

    // A record of database I (kind KIND, ID ID) was added to the files of
    // SCOPES (CDRJournal::Scope), its entry lines LINES; counted as not
    // durable when it went to the database, and journaled when on. Syncs
    // once the first unsynced record has waited kDelayMs.
    void Added(int i, int kind, uint32_t id, unsigned scopes, std::string_view lines);
    // The collected records of each kind below NEXT (three IDs) were
    // delivered: none may come back to the statistics file. Synced.
    void Delivered(const uint32_t next[3]);
    // The database I, or with I -1 the statistics file, was saved with all
    // it holds, or emptied (a clear).
    void Saved(int i);
    // Makes every record appended so far durable.
    void Sync();

    // Records of database I that are not durable; what went wrong, if
    // anything (a failure that still costs durability, else damage found
    // at the start), empty when nothing did.
    uint32_t NotDurable(int i) const { return mNotDurable[i]; }
    const std::string& Problem() const { return mFailure.empty() ? mDamage : mFailure; }

    static constexpr int64_t kDelayMs = 20;

private:
    // Database I's journal: made when the journal is on, or found at the start.
    CDRJournal* Journal(int i);
    // Runs WORK on a journal; false when it failed, which is noted and
    // alerted for OPERATION.
    template <class Work>
    bool Try(const char* operation, Work&& work);
    void Healed();

    Alert mpAlert;
    bool mOn = false;
    std::string mPaths[3];
    CDRJournal* mpJournals[3] = {};
    uint32_t mSequence = 0;  // orders records across the journals
    int64_t mSyncDue = 0;    // monotonic ms when the unsynced records must be synced; 0: none wait
    uint32_t mNotDurable[3] = {};
    uint32_t mUnsynced[3] = {};  // of those, appended since the last sync
    bool mBroken[3] = {};        // a sync failed since the journal's last reset
    bool mLost[3] = {};          // an append failed since the database's last save
    std::string mFailure, mDamage;
};
