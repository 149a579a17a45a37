#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/config/MultiSectionConfigFile.h"
#include "platform/msg/RecordQuery.h"

// What the read command answers: the page of a RecordQuery over the three
// record databases, as the recorder holds them in memory or as a reader of
// the saved files loads them. Both use this, so the page is the same either
// way.
//
// The cost is the page's, not the databases': a list without criteria takes
// its records by index; criteria read the first lines of each record they
// pass (a record that the recorder wrote has "ID", "ST", "dur", "called"
// and "caller" first). Counting the matches reads every record once.
//
// Stateless; the files are only read, and must not change during Run.
class RecordSearch {
public:
    // What a record costs of an answer's room besides its text.
    static constexpr size_t kFraming = 4;

    // The page of QUERY over FILES (index 0 stated, 1 missed, 2 failed; null
    // for a database that is not open), with as many records as ROOM bytes
    // hold (a record costs its text and kFraming); a first record longer
    // than ROOM comes cut.
    static void Run(const RecordQuery& query,
                    const Configuration::MultiSectionConfigFile* const files[3], size_t room,
                    RecordPage* page);

    // The fields that the list and the criteria use, read from a record's
    // entry lines as views of their values. Numbers are read from their
    // text when asked for, which a search mostly does not. A text with
    // escapes is decoded into the object's own copy; so not copyable.
    struct Fields {
        Fields() = default;
        Fields(const Fields&) = delete;
        Fields& operator=(const Fields&) = delete;

        // The decimal number of a numeric field; false when it has none.
        bool Id(uint32_t* id) const;
        bool Start(int64_t* start) const;
        bool Duration(uint32_t* duration) const;

        bool mHasId = false, mHasStart = false, mHasDuration = false;
        bool mHasCaller = false, mHasCalled = false;
        std::string_view mId, mStart, mDuration, mCaller, mCalled;
        // The called and the caller line follow each other in the text, as
        // the recorder writes them, with no escapes.
        bool mNeighbours = false;
        std::string mDecoded[2];  // caller, called with their escapes undone
    };
    static void Read(std::string_view text, Fields* fields);

    // Every entry of a record's entry lines, decoded, in order.
    using Entries = std::vector<std::pair<std::string, std::string>>;
    static Entries Decode(std::string_view text);
    // The same as views, without a copy of each: at most MAX entries into
    // ENTRIES, as views of TEXT or, for an entry with escapes, of *DECODED,
    // which this fills (both must outlive the views). Returns how many
    // entries the record has; beyond MAX they are counted, not kept.
    using EntryView = std::pair<std::string_view, std::string_view>;
    static size_t DecodeEntries(std::string_view text, std::string* decoded, EntryView* entries,
                                size_t max);

    // Whether a record with FIELDS meets QUERY's criteria.
    static bool Matches(const RecordQuery& query, const Fields& fields);
};
