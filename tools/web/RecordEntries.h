#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/msg/RecordSearch.h"

// A record's entries, decoded (see RecordSearch::DecodeEntries), in order.
// Views of the text, which must outlive the object, and of the object.
// Room for a usual record is in the object itself; a longer one takes a
// block.
class RecordEntries {
public:
    using Entry = RecordSearch::EntryView;

    explicit RecordEntries(std::string_view text);
    RecordEntries(const RecordEntries&) = delete;
    RecordEntries& operator=(const RecordEntries&) = delete;

    const Entry* begin() const { return mMore ? mMore.get() : mFixed; }
    const Entry* end() const { return begin() + mCount; }
    // The first value of KEY, or "" when the record has none.
    std::string_view Value(std::string_view key) const;

private:
    static constexpr size_t kFixed = 48;  // a record with two streams and a fax has 46

    Entry mFixed[kFixed];
    std::unique_ptr<Entry[]> mMore;  // the same, when they are more
    size_t mCount;
    std::string mDecoded;
};
