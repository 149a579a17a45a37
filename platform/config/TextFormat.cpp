#include "platform/config/TextFormat.h"

#include <cctype>
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

std::string Delimiter(const char* text, const char* what) {
    if (!text || !*text)
        throw std::invalid_argument(std::string("empty ") + what);
    std::string s(text);
    if (s.back() == '\n')
        s.pop_back();
    // Escapes are made of a backslash and alphanumerics, so no delimiter may hold those.
    for (char c : s)
        if (c == '\n' || c == '\\' || IsBlank(c) || std::isalnum(static_cast<unsigned char>(c)))
            throw std::invalid_argument(std::string("unusable ") + what);
    if (s.empty())
        throw std::invalid_argument(std::string("unusable ") + what);
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

// Undoes AppendEscaped. Returns null on success, else why the text is damaged.
const char* Unescape(std::string_view in, std::string* out) {
    out->clear();
    size_t start = 0;
    for (;;) {
        size_t slash = in.find('\\', start);
        out->append(in.data() + start,
                    (slash == std::string_view::npos ? in.size() : slash) - start);
        if (slash == std::string_view::npos)
            return nullptr;
        if (slash + 1 >= in.size())
            return "backslash at end of text";
        char c = in[slash + 1];
        start = slash + 2;
        switch (c) {
            case '\\':
                out->push_back('\\');
                break;
            case 'n':
                out->push_back('\n');
                break;
            case 'r':
                out->push_back('\r');
                break;
            case 't':
                out->push_back('\t');
                break;
            case 'x': {
                int hi = slash + 2 < in.size() ? HexDigit(in[slash + 2]) : -1;
                int lo = slash + 3 < in.size() ? HexDigit(in[slash + 3]) : -1;
                if (hi < 0 || lo < 0)
                    return "bad \\x escape";
                if (hi == 0 && lo == 0)
                    return "escaped NUL byte";
                out->push_back(static_cast<char>(hi * 16 + lo));
                start = slash + 4;
                break;
            }
            default:
                return "unknown escape";
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
            throw std::invalid_argument("section delimiters clash with the separator");
    }
    for (int c = 0; c < 256; ++c) {
        mValueSpecial[c] = c == '\\' || c == '\n' || c == '\r';
        mKeySpecial[c] =
            mValueSpecial[c] || mSeparator.find(static_cast<char>(c)) != std::string::npos;
    }
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
    std::string_view t = Trim(line);
    if (t.empty())
        return kBlank;
    if (mSectioned) {
        if (t == mBegin)
            return kSectionBegin;
        if (t == mEnd)
            return kSectionEnd;
    }
    if (t.compare(0, mComment.size(), mComment) == 0)
        return kComment;
    if (t.find(mSeparator) != std::string_view::npos)
        return kEntry;
    return kInvalid;
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

const char* TextFormat::DecodeEntry(std::string_view line, std::string* key,
                                    std::string* value) const {
    size_t sep = line.find(mSeparator);
    if (sep == std::string_view::npos)
        return "no separator";
    // Escapes keep separator bytes out of keys, so the first separator splits.
    if (const char* why = Unescape(Trim(line.substr(0, sep)), key))
        return why;
    return Unescape(Trim(line.substr(sep + mSeparator.size())), value);
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
