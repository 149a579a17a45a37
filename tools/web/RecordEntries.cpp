#include "tools/web/RecordEntries.h"

RecordEntries::RecordEntries(std::string_view text, Entry leading)
    : mLeading(!leading.first.empty()) {
    mFixed[0] = leading;
    mCount = RecordSearch::DecodeEntries(text, &mDecoded, mFixed + 1, kFixed);
    if (mCount > kFixed) {
        mMore.reset(new Entry[1 + mCount]);
        mMore[0] = leading;
        RecordSearch::DecodeEntries(text, &mDecoded, mMore.get() + 1, mCount);
    }
}

std::string_view RecordEntries::Value(std::string_view key) const {
    for (const Entry& entry : *this)
        if (entry.first == key)
            return entry.second;
    return {};
}
