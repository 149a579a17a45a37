#include "tools/web/RecordEntries.h"

RecordEntries::RecordEntries(std::string_view text) {
    mCount = RecordSearch::DecodeEntries(text, &mDecoded, mFixed, kFixed);
    if (mCount > kFixed) {
        mMore.reset(new Entry[mCount]);
        RecordSearch::DecodeEntries(text, &mDecoded, mMore.get(), mCount);
    }
}

std::string_view RecordEntries::Value(std::string_view key) const {
    for (const Entry& entry : *this)
        if (entry.first == key)
            return entry.second;
    return {};
}
