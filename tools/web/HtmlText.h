#pragma once

#include <string>
#include <string_view>

// Text from the records (caller names come from the network) made safe to
// put in an HTML page as element content. (Attribute values carry only
// text this program made, or URL-encoded text, which has no markup.)
//
// The five characters that mean something in HTML become entities. Valid
// UTF-8 passes unchanged, except for characters that would hide or reorder
// what a person reads (control characters, bidirectional overrides): they
// and every byte that is not part of valid UTF-8 are shown as \xHH or
// \u{HHHH} inside <span class="raw">, so the page always shows what the
// file holds and never what a caller wanted it to look like.
class HtmlText {
public:
    static void Append(std::string& out, std::string_view text);
    static std::string Escape(std::string_view text) {
        std::string out;
        Append(out, text);
        return out;
    }
};
