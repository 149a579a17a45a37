#pragma once

#include <string>
#include <string_view>

// SHA-256 (FIPS 180-4) and HMAC-SHA-256 (RFC 2104) over byte strings, for
// the page's form tokens. Results are the 32 raw bytes; Hex spells them.
// Stateless.
class HmacSha256 {
public:
    static std::string Sha256(std::string_view data);
    static std::string Mac(std::string_view key, std::string_view message);
    // BYTES in lowercase hexadecimal, two digits each.
    static std::string Hex(std::string_view bytes);
};
