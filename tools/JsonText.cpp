#include "tools/JsonText.h"

#include "tools/Utf8.h"

namespace {

// Length of the well-formed UTF-8 sequence at P, or 0.
size_t Utf8Length(const unsigned char* p, size_t left) {
    uint32_t codePoint = 0;
    return Utf8::Sequence(std::string_view(reinterpret_cast<const char*>(p), left), &codePoint);
}

}  // namespace

bool JsonText::IsUtf8(std::string_view text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(p + i, text.size() - i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void JsonText::String(std::string_view s, std::ostream& out) {
    static const char kHex[] = "0123456789abcdef";
    out << '"';
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = p[i];
        const size_t n = Utf8Length(p + i, s.size() - i);
        if (n == 0) {
            out << "\\ufffd";
        } else if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if (c == '\n') {
            out << "\\n";
        } else if (c == '\r') {
            out << "\\r";
        } else if (c == '\t') {
            out << "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out << "\\u00" << kHex[c >> 4] << kHex[c & 15];
        } else {
            out.write(s.data() + i, static_cast<std::streamsize>(n));
            i += n;
            continue;
        }
        ++i;
    }
    out << '"';
}

std::string JsonText::Base64(std::string_view bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const unsigned v = p[i] << 16 | (left > 1 ? p[i + 1] << 8 : 0) | (left > 2 ? p[i + 2] : 0);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += left > 1 ? kDigits[(v >> 6) & 63] : '=';
        out += left > 2 ? kDigits[v & 63] : '=';
    }
    return out;
}
