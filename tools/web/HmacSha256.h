#pragma once

#include <cstddef>
#include <string_view>

// SHA-256 (FIPS 180-4) and HMAC-SHA-256 (RFC 2104) over byte strings, for
// the page's form tokens. Results are the kSize raw bytes into the caller's
// array; Hex spells them. Stateless.
class HmacSha256 {
public:
    static constexpr size_t kSize = 32;
    static void Sha256(std::string_view data, unsigned char out[kSize]);
    static void Mac(std::string_view key, std::string_view message, unsigned char out[kSize]);
    // The SIZE bytes at BYTES in lowercase hexadecimal, two digits each,
    // into OUT (2 * SIZE characters, no NUL).
    static void Hex(const unsigned char* bytes, size_t size, char* out);
};
