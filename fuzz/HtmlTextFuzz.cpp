// libFuzzer target for the escaping of record values on the call log page.
//
// Whatever the bytes, the escaped text holds no markup but the spans that
// spell out raw bytes and hidden characters, and it reads back as exactly
// the bytes it was made from.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/web/HtmlText.h"

namespace {

void Utf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | cp >> 6);
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | cp >> 12);
        *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool Starts(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Undoes the escaping; aborts on anything the page must never hold.
std::string Unescape(std::string_view html) {
    static const std::string_view kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"};
    static const char kCharacters[] = "&<>\"'";
    const std::string_view open = "<span class=\"raw\">", close = "</span>";
    std::string out;
    while (!html.empty()) {
        if (Starts(html, open)) {
            html.remove_prefix(open.size());
            const size_t end = html.find(close);
            if (end == std::string_view::npos || end < 4 || html[0] != '\\')
                abort();
            const std::string digits(
                html.substr(html[1] == 'x' ? 2 : 3, end - (html[1] == 'x' ? 2 : 4)));
            const uint32_t value = static_cast<uint32_t>(strtoul(digits.c_str(), nullptr, 16));
            if (html[1] == 'x')
                out += static_cast<char>(value);
            else
                Utf8(value, &out);
            html.remove_prefix(end + close.size());
            continue;
        }
        if (html[0] == '&') {
            size_t i = 0;
            while (i < 5 && !Starts(html, kEntities[i])) ++i;
            if (i == 5)
                abort();
            out += kCharacters[i];
            html.remove_prefix(kEntities[i].size());
            continue;
        }
        if (html[0] == '<' || html[0] == '>' || html[0] == '"' || html[0] == '\'')
            abort();
        out += html[0];
        html.remove_prefix(1);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (Unescape(HtmlText::Escape(text)) != text)
        abort();
    return 0;
}
