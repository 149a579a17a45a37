#include "tools/web/HmacSha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const unsigned char (&digest)[HmacSha256::kSize]) {
    std::string hex(2 * HmacSha256::kSize, '?');
    HmacSha256::Hex(digest, HmacSha256::kSize, &hex[0]);
    return hex;
}

}  // namespace

// The published vectors: FIPS 180-4's examples (one and two blocks, and a
// million a's across many pieces of padding), and RFC 4231's cases 2 and 6
// (a short key, and a key longer than a block).
TEST(HmacSha256, GivesThePublishedValues) {
    unsigned char digest[HmacSha256::kSize];
    const struct {
        std::string data, sha256;
    } hashes[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [data, sha256] : hashes) {
        HmacSha256::Sha256(data, digest);
        EXPECT_EQ(sha256, Hex(digest)) << data.size();
    }
    HmacSha256::Mac("Jefe", "what do ya want for nothing?", digest);
    EXPECT_EQ("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843", Hex(digest));
    HmacSha256::Mac(std::string(131, '\xaa'),
                    "Test Using Larger Than Block-Size Key - Hash Key First", digest);
    EXPECT_EQ("60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54", Hex(digest));
}
