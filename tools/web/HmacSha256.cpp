#include "tools/web/HmacSha256.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotate(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

// Folds one 64-byte block into the hash state H.
void Block(const unsigned char* block, uint32_t h[8]) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t{block[4 * i]} << 24 | uint32_t{block[4 * i + 1]} << 16 |
               uint32_t{block[4 * i + 2]} << 8 | uint32_t{block[4 * i + 3]};
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = h[i];
    for (int i = 0; i < 64; ++i) {
        const uint32_t s1 = Rotate(v[4], 6) ^ Rotate(v[4], 11) ^ Rotate(v[4], 25);
        const uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const uint32_t t1 = v[7] + s1 + choice + kRound[i] + w[i];
        const uint32_t s0 = Rotate(v[0], 2) ^ Rotate(v[0], 13) ^ Rotate(v[0], 22);
        const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        for (int j = 7; j > 0; --j) v[j] = v[j - 1];
        v[4] += t1;
        v[0] = t1 + s0 + majority;
    }
    for (int i = 0; i < 8; ++i) h[i] += v[i];
}

// A hash fed piece by piece.
class Hash {
public:
    void Add(const unsigned char* data, size_t size) {
        mBits += uint64_t{size} * 8;
        while (size > 0) {
            const size_t take = std::min(size, sizeof mBlock - mFill);
            std::memcpy(mBlock + mFill, data, take);
            mFill += take;
            data += take;
            size -= take;
            if (mFill == sizeof mBlock) {
                Block(mBlock, mState);
                mFill = 0;
            }
        }
    }
    // The message so far, a 1 bit, zeros, and its length in bits: whole blocks.
    void End(unsigned char out[HmacSha256::kSize]) {
        uint64_t bits = mBits;
        unsigned char tail[72] = {0x80};
        const size_t zeros = (mFill < 56 ? 56 : 120) - mFill;
        // Shifted by a constant: a shift by a variable count of a 64-bit
        // value is a call into libgcc_s on the 32-bit device.
        for (int i = 7; i >= 0; --i, bits >>= 8) tail[zeros + i] = static_cast<unsigned char>(bits);
        Add(tail, zeros + 8);
        for (int i = 0; i < 32; ++i)
            out[i] = static_cast<unsigned char>(mState[i / 4] >> (24 - 8 * (i % 4)));
    }

private:
    uint32_t mState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    unsigned char mBlock[64];
    size_t mFill = 0;
    uint64_t mBits = 0;
};

const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

void HmacSha256::Sha256(std::string_view data, unsigned char out[kSize]) {
    Hash hash;
    hash.Add(Bytes(data), data.size());
    hash.End(out);
}

void HmacSha256::Mac(std::string_view key, std::string_view message, unsigned char out[kSize]) {
    unsigned char block[64] = {};
    if (key.size() > sizeof block)
        Sha256(key, block);
    else
        std::memcpy(block, key.data(), key.size());
    unsigned char pad[64], inner[kSize];
    for (size_t i = 0; i < sizeof block; ++i) pad[i] = block[i] ^ 0x36;
    Hash first;
    first.Add(pad, sizeof pad);
    first.Add(Bytes(message), message.size());
    first.End(inner);
    for (size_t i = 0; i < sizeof block; ++i) pad[i] = block[i] ^ 0x5c;
    Hash second;
    second.Add(pad, sizeof pad);
    second.Add(inner, sizeof inner);
    second.End(out);
}

void HmacSha256::Hex(const unsigned char* bytes, size_t size, char* out) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < size; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 15];
    }
}
