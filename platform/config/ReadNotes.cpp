#include "platform/config/ReadNotes.h"

#include <utility>

namespace Configuration {

void ReadNotes::Add(unsigned line, std::string what, bool dropsText) {
    if (mKept.size() < kKept)
        mKept.push_back(Note{line, std::move(what)});
    ++mCount;
    mDroppedText = mDroppedText || dropsText;
}

std::string ReadNotes::Describe(const std::string& path) const {
    std::string text;
    for (const Note& note : mKept) {
        if (!text.empty())
            text += "; ";
        text += path + ":" + std::to_string(note.mLine) + ": " + note.mWhat;
    }
    if (mCount > mKept.size())
        text += "; and " + std::to_string(mCount - mKept.size()) + " more";
    return text;
}

}  // namespace Configuration
