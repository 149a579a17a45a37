#pragma once

#include <string>

#include "platform/util/DecimalText.h"

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
    std::string Describe() const;
};

// The same of any problem with these members (one whose texts are views).
template <class AnyProblem>
std::string DescribeProblem(const AnyProblem& p) {
    std::string text(p.mFile);
    if (p.mLine) {
        char line[DecimalText::kMaxText];
        DecimalText::WriteUnsigned(p.mLine, line);
        text.append(":").append(line);
    }
    text.append(": ");
    if (!p.mKey.empty())
        text.append(p.mKey).append("=").append(p.mFound).append(": ");
    else if (!p.mFound.empty())
        text.append(p.mFound).append(": ");
    return text.append(p.mWhat);
}

inline std::string Problem::Describe() const {
    return DescribeProblem(*this);
}
