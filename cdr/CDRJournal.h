#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/config/Journal.h"
#include "platform/config/MultiSectionFile.h"

// The journal of one record database, DATABASE.journal beside it: the
// records the recorder added to the database, to the statistics file or to
// both since they were last saved, and the ranges it cleared from them. A
// record is durable once its journal is synced, long before its file's
// save interval comes round; the files themselves are written exactly as
// without a journal.
//
// One frame per record, in one write, holds it for both files: the
// statistics record is the database record with a "type" entry in front.
// So a crash can never leave a record in the one file's journal but not in
// the other's. A record is known by its kind and ID: IDs grow within a kind
// (in serial order, see CDRIds::Before, so the sequence goes on past
// 2^32 - 1) and are never given twice, so a replay puts back only records
// newer than a file's newest of their kind, and a save that a crash cut off
// from the journal's reset duplicates nothing. A clear is written, and
// synced, before the file is emptied, so that nothing it removed comes back.
//
// Errors throw the configuration library's FileError. Used on the
// manager's thread only.
class CDRJournal {
public:
    // The files a frame is about, as bits.
    enum Scope : unsigned { kDatabase = 1, kStatistics = 2 };

    explicit CDRJournal(const std::string& databasePath);

    // The record of KIND and ID, whose database entry lines are ENTRY_LINES,
    // was added to the files in SCOPES (not yet synced). SEQUENCE orders the
    // records of all journals, as the statistics file holds them.
    void Added(int kind, uint32_t id, uint32_t sequence, unsigned scopes,
               std::string_view entryLines);
    // The records of KIND below ID BELOW are about to be cleared from the
    // file of SCOPE (not yet synced).
    void Cleared(int kind, uint32_t below, unsigned scope);
    void Sync() { mJournal.Sync(); }
    bool Pending() const { return mJournal.Pending(); }
    // The file of SCOPE was saved with all it holds. Once no file waits for
    // the frames written since the last reset, the journal starts afresh:
    // true then.
    bool Saved(unsigned scope);
    // True while a file waits for frames of this journal.
    bool Waiting() const { return mWaiting != 0; }
    void Remove();
    const std::string& Path() const { return mJournal.Path(); }

    struct Frame {
        bool added;  // else cleared
        int kind;
        uint32_t id;  // the record's; for a clear, the first ID not cleared
        uint32_t sequence;
        unsigned scopes;
        std::string entryLines;
    };
    struct Contents {
        std::vector<Frame> frames;
        bool tornTail = false;  // a record cut short at the end was left out
        std::string damage;     // not empty: the journal was damaged and moved aside
    };
    // The journal's frames; a damaged journal is moved aside (what could be
    // read of it is given).
    Contents Read();

    // Puts into FILE the records of FRAMES in SCOPE that it lacks, in front,
    // in their order, and clears from it what they cleared; the statistics
    // file's records get their "type" entry. OWN_KIND is the kind of a
    // section without a "type" entry (a database's). Returns how many
    // records came back and were not cleared again.
    static uint32_t Replay(Configuration::MultiSectionFile& file, int ownKind, unsigned scope,
                           const std::vector<const Frame*>& frames);

private:
    Configuration::Journal mJournal;
    unsigned mWaiting = 0;  // scopes whose files lack frames written since the last reset
    std::string mFrame;     // reused, so that journaling a record allocates nothing
};
