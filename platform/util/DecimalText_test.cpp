#include "platform/util/DecimalText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

// The record's values must be exactly what the printf formats give.
TEST(DecimalTextTest, MatchesPrintf) {
    char ours[12], theirs[16];
    std::mt19937 random(1);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t u = i < 6 ? std::vector<uint32_t>{0, 9, 10, 65535, 99999, 4294967295u}[i]
                                 : static_cast<uint32_t>(random() >> (random() % 32));
        DecimalText::Unsigned(u, ours);
        std::snprintf(theirs, sizeof theirs, "%lu", static_cast<unsigned long>(u));
        ASSERT_STREQ(theirs, ours);
        const int32_t s =
            i < 4 ? std::vector<int32_t>{0, -1, INT32_MIN, INT32_MAX}[i] : static_cast<int32_t>(u);
        DecimalText::Signed(s, ours);
        std::snprintf(theirs, sizeof theirs, "%ld", static_cast<long>(s));
        ASSERT_STREQ(theirs, ours);
        // 64 bits, and zero-padded to a width.
        const int64_t wide = i < 2 ? std::vector<int64_t>{INT64_MIN, INT64_MAX}[i]
                                   : static_cast<int64_t>(random()) << (random() % 33);
        char ours64[DecimalText::kMaxText], theirs64[32];
        DecimalText::Write(wide, ours64);
        std::snprintf(theirs64, sizeof theirs64, "%lld", static_cast<long long>(wide));
        ASSERT_STREQ(theirs64, ours64);
        if (i == 0) {
            DecimalText::WriteUnsigned(UINT64_MAX, ours64);
            ASSERT_STREQ("18446744073709551615", ours64);
        }
        const int width = static_cast<int>(random() % 6);
        DecimalText::WriteUnsigned(u, ours64, width);
        std::snprintf(theirs64, sizeof theirs64, "%0*lu", width, static_cast<unsigned long>(u));
        ASSERT_STREQ(theirs64, ours64);
    }
}
