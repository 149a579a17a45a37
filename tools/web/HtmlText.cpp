#include "tools/web/HtmlText.h"

#include <cassert>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "tools/TextPieces.h"
#include "tools/Utf8.h"

namespace {

// Which bytes are printable ASCII that means nothing to HTML: a look-up
// per byte, for the page escapes every text it shows. A bit each: 224
// bytes less on the device than a bool each, for a few instructions a byte.
constexpr struct Plain {
    uint8_t mBits[32];
    constexpr Plain() : mBits() {
        for (int c = 0x20; c < 0x7F; ++c)
            if (c != '&' && c != '<' && c != '>' && c != '"' && c != '\'')
                mBits[c >> 3] = static_cast<uint8_t>(mBits[c >> 3] | 1 << (c & 7));
    }
    bool Is(unsigned char c) const { return mBits[c >> 3] >> (c & 7) & 1; }
} kPlain;

// Characters that are valid but must not act on the page's layout.
bool Hidden(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

const char kDigits[] = "0123456789ABCDEF";

void Url(std::string& out, const char* text, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // The unreserved marks; a NUL byte is not one of them.
        if ((c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') ||
            (c && strchr("-._~", c))) {
            out += static_cast<char>(c);
        } else {
            const char escape[3] = {'%', kDigits[c >> 4], kDigits[c & 0xF]};
            out.append(escape, 3);
        }
    }
}

// HtmlText::Format's own directives.
void Directive(std::string& out, char directive, const char* text, size_t size) {
    assert(directive == 'h' || directive == 'e');  // no other directive
    if (directive == 'h')
        HtmlText::Append(out, std::string_view(text, size));
    else
        Url(out, text, size);
}

// VALUE as \xHH, or WIDE as \u{HHHH} (no character hidden is above U+FFFF).
void Raw(std::string& out, uint32_t value, bool wide) {
    assert(value <= 0xFFFF);
    char hex[4];
    const int n = wide ? 4 : 2;
    for (int i = 0; i < n; ++i) hex[i] = kDigits[value >> 4 * (n - 1 - i) & 0xF];
    TextPieces::Format(
        out, wide ? "<span class=\"raw\">\\u{%t}</span>" : "<span class=\"raw\">\\x%t</span>", hex,
        static_cast<size_t>(n));
}

}  // namespace

void HtmlText::Append(std::string& out, std::string_view text) {
    while (!text.empty()) {
        // Printable ASCII that means nothing to HTML goes in as one run.
        size_t run = 0;
        while (run < text.size() && kPlain.Is(static_cast<unsigned char>(text[run]))) ++run;
        if (run > 0) {
            out.append(text.data(), run);
            text.remove_prefix(run);
            continue;
        }
        uint32_t cp = 0;
        const size_t length = Utf8::Sequence(text, &cp);
        if (length == 0)
            Raw(out, static_cast<uint8_t>(text[0]), false);
        else if (Hidden(cp))
            Raw(out, cp, cp >= 0x80);
        else if (cp == '&')
            out += "&amp;";
        else if (cp == '<')
            out += "&lt;";
        else if (cp == '>')
            out += "&gt;";
        else if (cp == '"')
            out += "&quot;";
        else if (cp == '\'')
            out += "&#39;";
        else
            out.append(text.data(), length);
        text.remove_prefix(length ? length : 1);
    }
}

void HtmlText::Format(std::string& out, const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    TextPieces::FormatV(out, Directive, pattern, args);
    va_end(args);
}

void HtmlText::AppendUrl(std::string& out, std::string_view text) {
    Url(out, text.data(), text.size());
}
