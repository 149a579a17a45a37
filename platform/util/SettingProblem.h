#pragma once

#include <string>

// A settings file line that could not be used as it stands: where it is,
// the key (empty for a line that is no KEY=VALUE entry), the text found and
// what is wrong with it. The reader goes on with the key's earlier value.
struct SettingProblem {
    std::string mFile;
    unsigned mLine = 0;  // counted from 1
    std::string mKey;
    std::string mFound;
    std::string mWhat;

    bool Empty() const { return mFile.empty(); }
    // "FILE:LINE: KEY=FOUND: WHAT", or "FILE:LINE: WHAT" without a key.
    std::string Describe() const {
        std::string text = mFile + ":" + std::to_string(mLine) + ": ";
        if (!mKey.empty())
            text += mKey + "=" + mFound + ": ";
        return text + mWhat;
    }
};
