#include "platform/config/TextFormat.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace Configuration {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Delimiters are the program's own constants, so a bad one is a mistake
// in its code: it throws where exceptions are on (the tests show which), and
// ends a program built without them (cdrweb) at once.
[[noreturn]] void Refuse(const std::string& why) {
#if defined(__cpp_exceptions)
    throw std::invalid_argument(why);
#else
    (void)why;
    std::abort();
#endif
}

std::string Delimiter(const char* text, const char* what) {
    if (!text || !*text)
        Refuse(std::string("empty ") + what);
    std::string s(text);
    if (s.back() == '\n')
        s.pop_back();
    // Escapes are made of a backslash and alphanumerics, so no delimiter may hold those.
    for (char c : s)
        if (c == '\n' || c == '\\' || IsBlank(c) || std::isalnum(static_cast<unsigned char>(c)))
            Refuse(std::string("unusable ") + what);
    if (s.empty())
        Refuse(std::string("unusable ") + what);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Undoes AppendEscaped. A backslash that starts no escape of ours is an
// ordinary byte. QUOTE, when not NUL, may be escaped too (inside quotes).
void Unescape(std::string_view in, std::string* out, char quote = '\0') {
    out->clear();
    size_t start = 0;
    for (;;) {
        const size_t slash = in.find('\\', start);
        if (slash == std::string_view::npos) {
            out->append(in.data() + start, in.size() - start);
            return;
        }
        out->append(in.data() + start, slash - start);
        const char c = slash + 1 < in.size() ? in[slash + 1] : '\0';
        start = slash + 2;
        if (c == '\\' || (quote && c == quote)) {
            out->push_back(c);
        } else if (c == 'n') {
            out->push_back('\n');
        } else if (c == 'r') {
            out->push_back('\r');
        } else if (c == 'x' && slash + 3 < in.size() && HexDigit(in[slash + 2]) >= 0 &&
                   HexDigit(in[slash + 3]) >= 0 && (in[slash + 2] != '0' || in[slash + 3] != '0')) {
            out->push_back(
                static_cast<char>(HexDigit(in[slash + 2]) * 16 + HexDigit(in[slash + 3])));
            start = slash + 4;
        } else {
            out->push_back('\\');
            start = slash + 1;
        }
    }
}

}  // namespace

TextFormat::TextFormat(const char* sectionBegin, const char* sectionEnd, const char* separator,
                       const char* comment)
    : mSeparator(Delimiter(separator, "separator")),
      mComment(Delimiter(comment, "comment marker")),
      mSectioned(sectionBegin != nullptr || sectionEnd != nullptr) {
    if (mSectioned) {
        mBegin = Delimiter(sectionBegin, "section begin");
        mEnd = Delimiter(sectionEnd, "section end");
        mBeginLine = mBegin + "\n";
        mEndLine = mEnd + "\n";
        if (mBegin == mEnd || mBegin.find(mSeparator) != std::string::npos ||
            mEnd.find(mSeparator) != std::string::npos)
            Refuse("section delimiters clash with the separator");
    }
    for (int c = 0; c < 256; ++c) {
        mValueSpecial[c] = c == '\\' || c == '\n' || c == '\r';
        mKeySpecial[c] =
            mValueSpecial[c] || mSeparator.find(static_cast<char>(c)) != std::string::npos;
    }
}

std::string_view TextFormat::Clean(std::string_view text, std::string* scratch, ReadNotes* notes) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.remove_prefix(3);
    const char* nul = static_cast<const char*>(std::memchr(text.data(), '\0', text.size()));
    if (!nul)
        return text;
    const size_t at = static_cast<size_t>(nul - text.data());
    const unsigned line =
        1 + static_cast<unsigned>(std::count(text.begin(), text.begin() + at, '\n'));
    scratch->clear();
    scratch->reserve(text.size());
    for (char c : text)
        if (c != '\0')
            scratch->push_back(c);
    notes->Add(line, std::to_string(text.size() - scratch->size()) + " NUL bytes dropped", false);
    return *scratch;
}

bool TextFormat::NextLine(std::string_view text, size_t* pos, std::string_view* line) {
    if (*pos >= text.size())
        return false;
    const char* begin = text.data() + *pos;
    const size_t left = text.size() - *pos;
    const char* nl = static_cast<const char*>(std::memchr(begin, '\n', left));
    size_t len = nl ? static_cast<size_t>(nl - begin) : left;
    *pos += nl ? len + 1 : len;
    if (len > 0 && begin[len - 1] == '\r')
        --len;  // CRLF: a raw CR is never written
    *line = std::string_view(begin, len);
    return true;
}

TextFormat::LineKind TextFormat::Classify(std::string_view line) const {
    return Classify(line, mBegin, mEnd, mSeparator, mComment);
}

TextFormat::LineKind TextFormat::Classify(std::string_view line, std::string_view begin,
                                          std::string_view end, std::string_view separator,
                                          std::string_view comment) {
    std::string_view t = Trim(line);
    if (t.empty())
        return kBlank;
    // A flat file's are empty, and match no line that is not blank.
    if (t == begin)
        return kSectionBegin;
    if (t == end)
        return kSectionEnd;
    if (t.compare(0, comment.size(), comment) == 0)
        return kComment;
    if (t.find(separator) != std::string_view::npos)
        return kEntry;
    return kStray;
}

bool TextFormat::IsCanonicalEntry(std::string_view line) const {
    // Files this library wrote hold almost only such lines; loading takes them as they are.
    if (line.empty() || IsBlank(line.front()) || IsBlank(line.back()) ||
        std::memchr(line.data(), '\\', line.size()) || std::memchr(line.data(), '\r', line.size()))
        return false;
    const size_t sep = line.find(mSeparator);
    if (sep == std::string_view::npos)
        return false;
    const std::string_view key = line.substr(0, sep);
    const std::string_view value = line.substr(sep + mSeparator.size());
    if ((!key.empty() && IsBlank(key.back())) || (!value.empty() && IsBlank(value.front())))
        return false;
    for (char c : key) {
        if (mKeySpecial[static_cast<unsigned char>(c)])
            return false;
    }
    // A line that starts with the comment marker is a comment, whatever
    // follows (and a key that starts so is escaped when written).
    return line.compare(0, mComment.size(), mComment) != 0;
}

void TextFormat::DecodeEntry(std::string_view line, std::string* key, std::string* value) const {
    if (mSectioned)
        return DecodeSectionEntry(line, key, value);
    const size_t sep = line.find(mSeparator);
    assert(sep != std::string_view::npos);  // Classify called it an entry
    Unescape(Trim(line.substr(0, sep)), key);
    DecodeSettingValue(line.substr(sep + mSeparator.size()), value);
}

void TextFormat::DecodeSectionEntry(std::string_view line, std::string* key,
                                    std::string* value) const {
    assert(mSectioned);
    DecodeSectionEntry(line, mSeparator, key, value);
}

void TextFormat::DecodeSectionEntry(std::string_view line, std::string_view separator,
                                    std::string* key, std::string* value) {
    const size_t sep = line.find(separator);
    assert(sep != std::string_view::npos);  // Classify called it an entry
    // Escapes keep separator bytes out of keys, so the first separator splits.
    Unescape(Trim(line.substr(0, sep)), key);
    Unescape(Trim(line.substr(sep + separator.size())), value);
}

std::string_view TextFormat::RawValue(std::string_view line) const {
    const size_t sep = line.find(mSeparator);
    return sep == std::string_view::npos ? std::string_view()
                                         : Trim(line.substr(sep + mSeparator.size()));
}

void TextFormat::DecodeSettingValue(std::string_view raw, std::string* value) const {
    const std::string_view text = Trim(raw);
    if (!text.empty() && (text[0] == '"' || text[0] == '\'')) {
        const char quote = text[0];
        size_t end = 1;
        for (; end < text.size() && text[end] != quote; ++end)
            if (quote == '"' && text[end] == '\\')
                ++end;
        // A quoted value: the closing quote ends it, and only a comment may follow.
        const std::string_view rest = end < text.size() ? text.substr(end + 1) : "x";
        if (rest.empty() ||
            (IsBlank(rest[0]) && Trim(rest).compare(0, mComment.size(), mComment) == 0)) {
            const std::string_view inner = text.substr(1, end - 1);
            if (quote == '"')
                Unescape(inner, value, '"');
            else
                value->assign(inner.data(), inner.size());
            return;
        }
    }
    // Unquoted: a comment marker after a blank (the one after the separator
    // too) ends the value.
    for (size_t i = 1; i < raw.size(); ++i) {
        if (IsBlank(raw[i - 1]) && raw.compare(i, mComment.size(), mComment) == 0) {
            raw = raw.substr(0, i);
            break;
        }
    }
    Unescape(Trim(raw), value);
}

void TextFormat::AppendEntry(std::string* out, std::string_view key, std::string_view value) const {
    AppendEscaped(out, key, true);
    out->append(mSeparator);
    AppendEscaped(out, value, false);
    out->push_back('\n');
}

void TextFormat::AppendEntryPrefix(std::string* out, std::string_view key) const {
    AppendEscaped(out, key, true);
    out->append(mSeparator);
}

void TextFormat::AppendEscaped(std::string* out, std::string_view text, bool isKey) const {
    const size_t n = text.size();
    if (n == 0)
        return;
    const bool* special = isKey ? mKeySpecial : mValueSpecial;
    const char* p = text.data();
    if (!mSectioned && !isKey) {
        // A settings value: also what a shell would take for a comment or
        // for quotes. Settings are few; this loop needs no speed.
        for (size_t i = 0; i < n; ++i) {
            const bool escape =
                special[static_cast<unsigned char>(p[i])] ||
                ((i == 0 || i == n - 1) && IsBlank(p[i])) ||
                (i == 0 && (p[i] == '"' || p[i] == '\'')) ||
                (i > 0 && IsBlank(p[i - 1]) && text.compare(i, mComment.size(), mComment) == 0);
            if (escape)
                AppendEscape(out, p[i]);
            else
                out->push_back(p[i]);
        }
        return;
    }
    // Position 0 and n-1 may need an escape that the table cannot know of;
    // the loop between them looks at the table alone (it runs for every byte
    // of every record written).
    const bool escapeFirst =
        IsBlank(p[0]) || (isKey && text.compare(0, mComment.size(), mComment) == 0);
    const bool escapeLast = n > 1 && IsBlank(p[n - 1]);
    size_t i = 0;
    if (escapeFirst)
        AppendEscape(out, p[i++]);
    const size_t end = escapeLast ? n - 1 : n;
    size_t run = i;  // start of the bytes not yet appended
    while (i < end) {
        if (!special[static_cast<unsigned char>(p[i])]) {
            ++i;
            continue;
        }
        out->append(p + run, i - run);
        AppendEscape(out, p[i]);
        run = ++i;
    }
    out->append(p + run, end - run);
    if (escapeLast)
        AppendEscape(out, p[n - 1]);
}

void TextFormat::AppendEscape(std::string* out, char byte) {
    const unsigned char c = static_cast<unsigned char>(byte);
    if (c == '\\') {
        out->append("\\\\", 2);
    } else if (c == '\n') {
        out->append("\\n", 2);
    } else if (c == '\r') {
        out->append("\\r", 2);
    } else {
        static const char kHex[] = "0123456789ABCDEF";
        const char esc[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        out->append(esc, 4);
    }
}

}  // namespace Configuration
