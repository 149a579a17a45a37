#include "tools/web/HmacSha256.h"

#include <gtest/gtest.h>

// The published vectors: FIPS 180-4's examples, and RFC 4231's cases 2 and 6
// (a short key, and a key longer than a block).
TEST(HmacSha256, GivesThePublishedValues) {
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              HmacSha256::Hex(HmacSha256::Sha256("abc")));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              HmacSha256::Hex(
                  HmacSha256::Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")));
    EXPECT_EQ("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
              HmacSha256::Hex(HmacSha256::Mac("Jefe", "what do ya want for nothing?")));
    EXPECT_EQ(
        "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
        HmacSha256::Hex(HmacSha256::Mac(std::string(131, '\xaa'),
                                        "Test Using Larger Than Block-Size Key - Hash Key First")));
}
