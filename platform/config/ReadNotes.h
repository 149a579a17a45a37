#pragma once

#include <string>
#include <vector>

namespace Configuration {

// What a lenient reader repaired or skipped in a file, so that its caller
// can say so: the first few notes in full, and how many there were.
// A value type; not thread-safe.
class ReadNotes {
public:
    struct Note {
        unsigned mLine;     // counted from 1
        std::string mWhat;  // what was found and what was done
    };
    static constexpr size_t kKept = 8;

    // DROPS_TEXT: a line's text was left out, so a save would lose it.
    void Add(unsigned line, std::string what, bool dropsText);
    void Clear() { *this = ReadNotes(); }

    bool Empty() const { return mCount == 0; }
    size_t Count() const { return mCount; }
    const std::vector<Note>& Kept() const { return mKept; }
    bool DroppedText() const { return mDroppedText; }
    // "PATH:LINE: WHAT; PATH:LINE: WHAT; and N more", or "" when empty.
    std::string Describe(const std::string& path) const;

private:
    std::vector<Note> mKept;
    size_t mCount = 0;
    bool mDroppedText = false;
};

}  // namespace Configuration
