#include <gtest/gtest.h>

#include "platform/util/NumberText.h"

// Numbers read the same on the 32-bit device and on a 64-bit host.
TEST(NumberText, ReadsAsTheDeviceReadsWhateverTheHost) {
    struct Case {
        const char* text;
        uint32_t leadingUnsigned;  // an ID of a record file
        int32_t leadingSigned;     // download_cnt
        bool whole;                // a settings number, 0 to 2^32 - 1
    };
    const Case cases[] = {
        {"100", 100, 100, true},
        {" \t-12abc", 4294967284u, -12, false},
        {"+7", 7, 7, true},
        {"abc", 0, 0, false},
        {"", 0, 0, false},
        {"-", 0, 0, false},
        {"4294967295", 4294967295u, INT32_MAX, true},
        {"4294967296", 4294967295u, INT32_MAX, false},
        {"99999999999999999999", 4294967295u, INT32_MAX, false},
        {"-99999999999999999999", 4294967295u, INT32_MIN, false},
        {"-1", 4294967295u, -1, false},
        {"12 ", 12, 12, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.leadingUnsigned, NumberText::LeadingUnsigned32(c.text)) << c.text;
        EXPECT_EQ(c.leadingSigned, NumberText::LeadingSigned32(c.text)) << c.text;
        int64_t v;
        EXPECT_EQ(c.whole, NumberText::Whole(c.text, 0, 4294967295, &v)) << c.text;
    }
}
