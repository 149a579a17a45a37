#pragma once

#include <sys/uio.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/config/BlockPool.h"
#include "platform/config/PackedSection.h"
#include "platform/config/ReadNotes.h"
#include "platform/config/SectionRing.h"
#include "platform/config/TextFormat.h"

namespace Configuration {

// An ordered list of sections of key/value entries, with a cursor, and its
// text form. This is the part of a multi-section file that needs no file:
// MultiSectionFile binds it to a path, and the statistics download library
// takes it to write the sections elsewhere.
//
// Sections: the first is the front (the newest record of a database). Adding
// a section at the front and removing the last cost O(1); a section is kept
// as the text of its entry lines, so it costs about its size in the file
// and saving copies it as it stands (see PackedSection). Entries are encoded
// once, when they are added. A section is
// written in a scratch block and, once complete (at the next AddSection or
// Save), copied into a block of about its size: one from the BlockPool of
// deleted sections when one fits, else a new one; the heap holds no growth
// slack.
//
// Cursor: entry operations work on the current section. Restart puts the
// cursor before the first section, and each GotoNextSection moves it to the
// next one. AddSection makes the new section current; DeleteSection leaves no
// section current, with GotoNextSection going on to the section that followed.
//
// Operations return nonzero for success and 0 when there is nothing to work
// on (no current section, no such entry). Keys and values are NUL-terminated;
// any other byte is kept. Not thread-safe: callers serialise access.
class MultiSectionConfigFile {
public:
    // The four delimiters, as TextFormat takes them; throws
    // std::invalid_argument for unusable ones.
    MultiSectionConfigFile(const char* sectionBegin, const char* sectionEnd, const char* separator,
                           const char* comment);
    virtual ~MultiSectionConfigFile();
    MultiSectionConfigFile(const MultiSectionConfigFile&) = delete;
    MultiSectionConfigFile& operator=(const MultiSectionConfigFile&) = delete;

    int GetSectionCount() const { return static_cast<int>(mSections.size()); }
    // The entry lines of section I (0 is the front), as SectionText gives
    // them, without moving the cursor; valid until the section changes.
    std::string_view SectionTextAt(size_t i) const { return mSections[i].Text(); }
    int GotoFirstSection();
    int GotoLastSection();
    int Restart();
    int GotoNextSection();
    // Inserts an empty section before all others (AT_FRONT) or after them.
    int AddSection(bool atFront);
    int DeleteSection();
    int ClearAll();

    int AddSectionEntry(const char* key, const char* value);
    int SetSectionEntry(const char* key, const char* value);
    // Copies the value, cut to SIZE - 1 bytes, and a NUL into BUFFER.
    int GetSectionEntry(const char* key, char* buffer, size_t size) const;

    // The current section's entry lines, as this format writes them; valid
    // until the section changes. Empty when no section is current.
    std::string_view SectionText() const;
    // Inserts a section holding the entry lines ENTRY_LINES (as SectionText
    // gives them; other lines are read as ReadText reads them) before all
    // others or after them, and makes it current.
    int AddSectionText(std::string_view entryLines, bool atFront);

    // Calls VISIT(key, value) for each entry of the current section, in
    // order; the views last until VISIT returns.
    template <class Visitor>
    void ForEachSectionEntry(Visitor&& visit) const {
        if (!HasCurrent())
            return;
        const std::string_view text = mSections[mCurrent].Text();
        std::string key, value;
        std::string_view line;
        for (size_t pos = 0; TextFormat::NextLine(text, &pos, &line);) {
            // The lines were encoded by this format, so they decode.
            mFormat.DecodeEntry(line, &key, &value);
            visit(std::string_view(key), std::string_view(value));
        }
    }

    // Appends all sections in their text form to *OUT.
    void WriteText(std::string* out) const;
    // The same text in pieces of about CHUNK bytes, each handed to EMIT, so
    // that no buffer of the whole file's size is needed.
    void WriteText(const std::function<void(const std::string& piece)>& emit, size_t chunk) const;
    // The same text as batches of at most MAX_PIECES buffers that point into
    // the sections themselves, valid until EMIT returns: nothing is copied.
    void WriteTextPieces(const std::function<void(const struct iovec* pieces, int count)>& emit,
                         int maxPieces) const;
    // Replaces all sections by those of TEXT, read leniently: whatever is not
    // in the grammar is repaired or skipped, never refused, and noted in
    // Notes(). What this class writes reads back exactly, with no note.
    void ReadText(std::string_view text);
    // What the last ReadText repaired or skipped.
    const ReadNotes& Notes() const { return mNotes; }

protected:
    // Moves the section being written out of the scratch block.
    void CompleteWriting();

private:
    bool HasCurrent() const { return mCurrent >= 0; }
    // The line of KEY in the current section: its start and length with the
    // line end. False when there is none.
    bool FindLine(const char* key, size_t* at, size_t* length) const;

    TextFormat mFormat;
    SectionRing mSections;
    PackedSection mScratch;  // lent to the section being written
    long mWriting = -1;      // index of that section, or -1
    BlockPool mPool;         // blocks of deleted sections, for reuse
    long mCurrent = -1;      // index of the current section, or -1
    long mNext = 0;          // where GotoNextSection goes
    // Reused for encoding, so that adding entries allocates nothing.
    mutable std::string mLine;
    mutable std::string mKey;
    mutable std::string mValue;
    ReadNotes mNotes;
};

}  // namespace Configuration
