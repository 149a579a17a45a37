#pragma once

#include <string>

// Something the operator should know of, as the status lists it: where it
// is (a file, and the line when there is one), the key (a setting's; empty
// when none), the text found, and what is wrong or what was done about it.
// A settings line that could not be used is one: the reader goes on with
// the key's earlier value.
struct Problem {
    std::string mFile;
    unsigned mLine = 0;  // counted from 1; 0: none
    std::string mKey;
    std::string mFound;
    std::string mWhat;

    bool Empty() const { return mFile.empty(); }
    // "FILE:LINE: KEY=FOUND: WHAT"; without a line "FILE: ", without a key
    // "FILE:LINE: FOUND: WHAT", and without either text just WHAT after
    // the place.
    std::string Describe() const {
        std::string text = mFile + (mLine ? ":" + std::to_string(mLine) : std::string()) + ": ";
        if (!mKey.empty())
            text += mKey + "=" + mFound + ": ";
        else if (!mFound.empty())
            text += mFound + ": ";
        return text + mWhat;
    }
};
