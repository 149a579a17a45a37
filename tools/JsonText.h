#pragma once

#include <ostream>
#include <string>
#include <string_view>

// JSON text for the tools' output: strings that are valid UTF-8 JSON
// whatever bytes they are given. Stateless.
class JsonText {
public:
    // TEXT as a JSON string. A byte that is not part of a well-formed UTF-8
    // sequence (overlong forms, surrogates and code points above U+10FFFF
    // are not) becomes U+FFFD, so the result is always valid.
    static void String(std::string_view text, std::ostream& out);
    // True when TEXT is well-formed UTF-8 and String writes it without loss.
    static bool IsUtf8(std::string_view text);
    // RFC 4648 base64, with padding.
    static std::string Base64(std::string_view bytes);
};
