#pragma once

#include <string>
#include <string_view>

#include "platform/config/ReadNotes.h"

namespace Configuration {

// The line format of the configuration files, for one set of delimiters.
// docs/file-format.md has the grammar with examples.
//
// A file is a sequence of lines ending in "\n" (the last one may lack it; a
// "\r" before the "\n" is dropped, so files edited with CRLF line ends read
// the same). A line is blank, a comment (first non-blank text is the comment
// marker), a section begin or end (the delimiter's text without its "\n",
// blanks around it allowed), or an entry: KEY SEPARATOR VALUE, with blanks
// around key and value ignored. Anything else is a stray line.
//
// Keys and values are any bytes but NUL. Plain text is written as it is; the
// bytes that would change the line's meaning are escaped: "\\" for a
// backslash, "\n" and "\r" for line ends, "\xHH" for a separator byte in a
// key, a comment marker that starts a key, and a blank at either end of a key
// or value. Reading is lenient: a backslash that starts none of these
// escapes is an ordinary byte, so text written by hand (DOMAIN\alice) reads
// as written and no entry line is ever refused.
//
// A flat file (no section delimiters) is a settings file, which shell
// scripts read too; its values read as a shell reads an assignment: a
// comment marker after a blank ends the value ("1 # on" is "1"), and a value
// in matching quotes is the text between them ("'a b'" is "a b"; in double
// quotes "\"" is a quote). Its writer escapes such markers and a leading
// quote, so what it writes still reads back exactly.
//
// Immutable after construction, so one instance may serve several threads.
class TextFormat {
public:
    enum LineKind { kBlank, kComment, kSectionBegin, kSectionEnd, kEntry, kStray };

    // Delimiters are single lines; a trailing "\n" is implied and may be
    // given. SECTION_BEGIN and SECTION_END are both null for a flat file.
    // Throws std::invalid_argument for delimiters that could not be told
    // apart from entries: empty, containing a line end or a backslash, or a
    // section delimiter that contains the separator.
    TextFormat(const char* sectionBegin, const char* sectionEnd, const char* separator,
               const char* comment);

    // TEXT without what no line means: a UTF-8 byte-order mark at its start,
    // and NUL bytes (a file cut by a power loss may end in a run of them),
    // which are dropped with a note. Copies into *SCRATCH only when there
    // are NUL bytes.
    static std::string_view Clean(std::string_view text, std::string* scratch, ReadNotes* notes);

    // Splits off the next line of TEXT from *POS, without its line end.
    // Returns false at the end of the text.
    static bool NextLine(std::string_view text, size_t* pos, std::string_view* line);

    LineKind Classify(std::string_view line) const;
    // The same for delimiters given as lines hold them (without the line
    // end; BEGIN and END empty for a flat file), with no object: for a
    // reader of records alone, which need not build and check one.
    static LineKind Classify(std::string_view line, std::string_view begin, std::string_view end,
                             std::string_view separator, std::string_view comment);

    // True when the entry line LINE is exactly what AppendEntry makes of it
    // (less the line end): then it needs no decoding and no encoding.
    bool IsCanonicalEntry(std::string_view line) const;

    // Decodes a line that Classify calls an entry.
    void DecodeEntry(std::string_view line, std::string* key, std::string* value) const;
    // The same in a file with sections, whose values know no quotes or
    // comments: what a reader of records alone needs.
    void DecodeSectionEntry(std::string_view line, std::string* key, std::string* value) const;
    static void DecodeSectionEntry(std::string_view line, std::string_view separator,
                                   std::string* key, std::string* value);
    // The text after the separator as it stands, blanks at both ends
    // removed: no escape, quote or comment is looked at.
    std::string_view RawValue(std::string_view line) const;

    void AppendEntry(std::string* out, std::string_view key, std::string_view value) const;
    // What every entry line of KEY starts with: the escaped key and the
    // separator. Escaping makes it unique: no other key's line starts so.
    void AppendEntryPrefix(std::string* out, std::string_view key) const;
    void AppendSectionBegin(std::string* out) const { out->append(mBeginLine); }
    void AppendSectionEnd(std::string* out) const { out->append(mEndLine); }
    // The delimiter lines with their line ends.
    const std::string& SectionBeginLine() const { return mBeginLine; }
    const std::string& SectionEndLine() const { return mEndLine; }

private:
    void AppendEscaped(std::string* out, std::string_view text, bool isKey) const;
    void DecodeSettingValue(std::string_view raw, std::string* value) const;
    static void AppendEscape(std::string* out, char byte);

    std::string mBegin;
    std::string mEnd;
    std::string mBeginLine;
    std::string mEndLine;
    std::string mSeparator;
    std::string mComment;
    bool mSectioned;
    bool mKeySpecial[256];    // bytes escaped wherever they stand in a key
    bool mValueSpecial[256];  // ... in a value
};

}  // namespace Configuration
