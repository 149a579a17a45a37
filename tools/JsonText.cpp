#include "tools/JsonText.h"

namespace {

// Length of the well-formed UTF-8 sequence at P (Unicode's table 3-7), or 0.
size_t Utf8Length(const unsigned char* p, size_t left) {
    const unsigned char c = p[0];
    size_t n;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (n > left || p[1] < low || p[1] > high)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return n;
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
