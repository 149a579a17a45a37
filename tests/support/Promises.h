#pragma once
// What the recorder told the outside, and what its files must therefore show
// after any crash or power cut: the invariants that the crash-state
// explorer and the power-cut test hold it to. Databases are indexed 0
// stated, 1 missed, 2 failed; a record is its entry lines (the statistics
// file's without "type").
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// IDs in the order the recorder gives them, which goes on past 2^32 - 1.
inline bool Before(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

using Records = std::map<uint32_t, std::string>;  // by ID

// The records of a record file's TEXT into OUT by database: sections
// without "type" are of database K. False when the text needed repair or
// an ID comes twice.
bool ParseRecords(const std::string& text, int k, Records out[3]);

// The collector command of the tests' statistics downloads: each delivery
// goes into a file of its own in DIR; it fails while the file FAIL is there.
std::string Collector(const std::string& dir, const std::string& fail);
// The deliveries in DIR since the last call, whose files go.
std::vector<std::vector<Records>> TakeDeliveries(const std::string& dir);

struct Promises {
    Records known[3];         // told outside: no other record takes their IDs
    uint32_t newest[3] = {};  // the newest ID ever told: the next ones come after
    bool told[3] = {};
    std::set<uint32_t> owed[3];           // in the database, unless cleared or trimmed
    std::set<uint32_t> owedCollected[3];  // collected, unless delivered or capped
    bool cleared[3] = {};                 // a clear was answered: none before first[] comes back
    uint32_t first[3] = {};
    bool asked[3] = {};  // a clear asked: those before mayBeGone[] may be gone
    uint32_t mayBeGone[3] = {};
    std::set<uint32_t> delivered[3];  // an answer came after: never collected again
    bool mayDrop = false;             // downloads failed: the cap may drop collected ones
    bool journalOff = false;          // no journal file may appear
    uint32_t limit = 0, cap = 0;      // records a database, and the statistics file, hold

    // Everything in FILES (path: contents, as PowerCutFs::Tree) that breaks
    // a promise: databases DIR + their default names, the statistics file
    // STAT, NEXT the IDs the recorder gives next, EVER every record any
    // delivery took.
    std::vector<std::string> Check(const std::map<std::string, std::string>& files,
                                   const std::string& dir, const std::string& stat,
                                   const uint32_t next[3], const std::set<uint32_t> ever[3]) const;
    // Record ID of database K, LINES, was told outside.
    void Tell(int k, uint32_t id, const std::string& lines);
    // A delivery took RECORDS (by database): they are told and added to
    // EVER, owed no longer, and with ANSWERED (an answer came after it)
    // never to be collected again.
    void Delivered(const std::vector<Records>& records, bool answered, std::set<uint32_t> ever[3]);
    // A clear of the databases MASK selects (1, 2, 4) was asked when their
    // next IDs were FIRST and took at most those before UP_TO; ANSWERED: it
    // took every one before FIRST.
    void Cleared(int mask, const uint32_t first[3], const uint32_t upTo[3], bool answered);
    // What a start found in FILES is told, and owed from now on; what it
    // did not find is forgotten but for the newest IDs.
    void Found(const std::map<std::string, std::string>& files, const std::string& dir,
               const std::string& stat);
};

}  // namespace testing_support
