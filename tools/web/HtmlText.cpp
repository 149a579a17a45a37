#include "tools/web/HtmlText.h"

#include <cassert>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/TextPieces.h"
#include "tools/Utf8.h"

namespace {

// Which bytes are printable ASCII that means nothing to HTML: a look-up
// per byte, for the page escapes every text it shows.
constexpr struct Plain {
    bool mIs[256];
    constexpr Plain() : mIs() {
        for (int c = 0x20; c < 0x7F; ++c)
            mIs[c] = c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
    }
} kPlain;

// Characters that are valid but must not act on the page's layout.
bool Hidden(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

void Url(std::string& out, const char* text, size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
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

void Raw(std::string& out, const char* format, uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, format, static_cast<unsigned>(value));
    out += "<span class=\"raw\">";
    out += text;
    out += "</span>";
}

}  // namespace

void HtmlText::Append(std::string& out, std::string_view text) {
    while (!text.empty()) {
        // Printable ASCII that means nothing to HTML goes in as one run.
        size_t run = 0;
        while (run < text.size() && kPlain.mIs[static_cast<unsigned char>(text[run])]) ++run;
        if (run > 0) {
            out.append(text.data(), run);
            text.remove_prefix(run);
            continue;
        }
        uint32_t cp = 0;
        const size_t length = Utf8::Sequence(text, &cp);
        if (length == 0)
            Raw(out, "\\x%02X", static_cast<uint8_t>(text[0]));
        else if (Hidden(cp))
            Raw(out, cp < 0x80 ? "\\x%02X" : "\\u{%04X}", cp);
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
