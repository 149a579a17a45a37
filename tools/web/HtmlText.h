#pragma once

#include <string>
#include <string_view>

// The page's HTML, made safe and made small.
//
// Append: text from the records (caller names come from the network) made
// safe as element content or as an attribute value in double quotes. The
// five characters that mean something in HTML become entities. Valid UTF-8
// passes unchanged, except for characters that would hide or reorder what a
// person reads (control characters, bidirectional overrides): they and
// every byte that is not part of valid UTF-8 are shown as \xHH or \u{HHHH}
// inside <span class="raw">, so the page always shows what the file holds
// and never what a caller wanted it to look like.
//
// Format: a line of the page from a pattern, in one call: TextPieces's
// directives (%s for this program's own text), and
//   %h  const char*, size_t: bytes escaped as Append does
//   %e  const char*, size_t: bytes percent-encoded for an address (all but
//       RFC 3986's unreserved characters)
// On the device every piece of text put on its own costs a call and the
// code to set it up; one pattern per line keeps the page's code small.
class HtmlText {
public:
    static void Append(std::string& out, std::string_view text);
    static std::string Escape(std::string_view text) {
        std::string out;
        Append(out, text);
        return out;
    }
    static void Format(std::string& out, const char* pattern, ...);
    // TEXT percent-encoded, as %e puts it.
    static void AppendUrl(std::string& out, std::string_view text);
};
