#pragma once

#include <cstddef>
#include <cstdint>

// SipHash-2-4 (Aumasson and Bernstein, 2012): a keyed hash made to be a MAC
// of short messages, as the page's form tokens are; a fifth of the code of
// HMAC-SHA-256 on the device. Stateless.
class SipHash {
public:
    static constexpr size_t kKeyBytes = 16;
    // The 64-bit tag of the SIZE bytes at DATA under KEY.
    static uint64_t Hash(const unsigned char key[kKeyBytes], const void* data, size_t size);
};
