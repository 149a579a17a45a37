#include "tools/web/SipHash.h"

namespace {

// Up to eight bytes as the algorithm reads them: little-endian, whatever
// the processor's order. In halves: on the 32-bit device a 64-bit shift
// by a variable count is a dozen instructions.
uint64_t Word(const unsigned char* p, size_t n = 8) {
    uint32_t half[2] = {0, 0};
    for (size_t i = 0; i < n; ++i) half[i / 4] |= static_cast<uint32_t>(p[i]) << 8 * (i % 4);
    return static_cast<uint64_t>(half[1]) << 32 | half[0];
}

uint64_t Rotate(uint64_t x, int bits) {
    return x << bits | x >> (64 - bits);
}

struct State {
    uint64_t v0, v1, v2, v3;

    void Rounds(int n) {
        while (n-- > 0) {
            v0 += v1;
            v1 = Rotate(v1, 13) ^ v0;
            v0 = Rotate(v0, 32);
            v2 += v3;
            v3 = Rotate(v3, 16) ^ v2;
            v0 += v3;
            v3 = Rotate(v3, 21) ^ v0;
            v2 += v1;
            v1 = Rotate(v1, 17) ^ v2;
            v2 = Rotate(v2, 32);
        }
    }
    void Absorb(uint64_t m) {
        v3 ^= m;
        Rounds(2);
        v0 ^= m;
    }
};

}  // namespace

uint64_t SipHash::Hash(const unsigned char key[kKeyBytes], const void* data, size_t size) {
    const uint64_t k0 = Word(key), k1 = Word(key + 8);
    State s{k0 ^ 0x736f6d6570736575, k1 ^ 0x646f72616e646f6d, k0 ^ 0x6c7967656e657261,
            k1 ^ 0x7465646279746573};
    const unsigned char* p = static_cast<const unsigned char*>(data);
    size_t left = size;
    for (; left >= 8; p += 8, left -= 8) s.Absorb(Word(p));
    // The last word: what is left, and the length's low byte on top.
    s.Absorb(static_cast<uint64_t>(size & 0xFF) << 56 | Word(p, left));
    s.v2 ^= 0xFF;
    s.Rounds(4);
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}
