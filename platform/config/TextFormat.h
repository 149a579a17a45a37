#pragma once

#include <string>
#include <string_view>

namespace Configuration {

// The line format of the configuration files, for one set of delimiters.
//
// A file is a sequence of lines ending in "\n" (the last one may lack it; a
// "\r" before the "\n" is dropped, so files edited with CRLF line ends read
// the same). A line is blank, a comment (first non-blank text is the comment
// marker), a section begin or end (the delimiter's text without its "\n",
// blanks around it allowed), or an entry: KEY SEPARATOR VALUE, with blanks
// around key and value ignored.
//
// Keys and values are any bytes but NUL. Plain text is written as it is; the
// bytes that would change the line's meaning are escaped: "\\" for a
// backslash, "\n" and "\r" for line ends, "\xHH" for a separator byte in a
// key, a comment marker that starts a key, and a blank at either end of a key
// or value. Reading accepts also "\t". Immutable after construction, so one
// instance may serve several threads.
class TextFormat {
public:
    enum LineKind { kBlank, kComment, kSectionBegin, kSectionEnd, kEntry, kInvalid };

    // Delimiters are single lines; a trailing "\n" is implied and may be
    // given. SECTION_BEGIN and SECTION_END may be null for a flat file.
    // Throws std::invalid_argument for delimiters that could not be told
    // apart from entries: empty, containing a line end or a backslash, or a
    // section delimiter that contains the separator.
    TextFormat(const char* sectionBegin, const char* sectionEnd, const char* separator,
               const char* comment);

    // Splits off the next line of TEXT from *POS, without its line end.
    // Returns false at the end of the text.
    static bool NextLine(std::string_view text, size_t* pos, std::string_view* line);

    LineKind Classify(std::string_view line) const;

    // True when the entry line LINE is exactly what AppendEntry makes of it
    // (less the line end): then it needs no decoding and no encoding.
    bool IsCanonicalEntry(std::string_view line) const;

    // Decodes an entry line. Returns null on success, else why it is damaged.
    const char* DecodeEntry(std::string_view line, std::string* key, std::string* value) const;

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
