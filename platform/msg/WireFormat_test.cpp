#include "platform/msg/WireFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ExtremeReports.h"

namespace {

WireMessage Decoded(const std::string& bytes) {
    WireMessage m;
    const char* why =
        WireFormat::Decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &m);
    EXPECT_EQ(nullptr, why) << why;
    return m;
}

const char* Refusal(const std::string& bytes) {
    WireMessage m;
    return WireFormat::Decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                              &m);
}

std::string Encoded(const WireMessage& m) {
    std::string out, error;
    EXPECT_TRUE(WireFormat::Encode(m, &out, &error)) << error;
    return out;
}

}  // namespace

TEST(WireFormat, BytesAreBigEndianWithLengthInTheHeader) {
    WireMessage clear;
    clear.mType = WireMessage::kClear;
    clear.mMask = -2;
    EXPECT_EQ(std::string("\x01\x02\x00\x04\xFF\xFF\xFF\xFE", 8), Encoded(clear));
    EXPECT_EQ(-2, Decoded(Encoded(clear)).mMask);

    WireMessage now;
    now.mType = WireMessage::kDownloadNow;
    EXPECT_EQ(std::string("\x01\x06\x00\x00", 4), Encoded(now));

    WireMessage report;
    report.mKind = 1;
    report.mReport.mStartTime = 0x01020304;
    report.mReport.mCaller = "ab";
    const std::string expected(
        "\x01\x01\x00\x19"  // header: 25 bytes follow
        "\x00\x00\x00\x01"  // kind
        "\x01\x02\x03\x04"  // start time
        "\x00\x00\x00\x00"  // duration
        "\x00\x02"
        "ab\x00\x00\x00\x00"     // six texts
        "\x00\x00\x00\x00\x00",  // CLIR, no statistics
        29);
    EXPECT_EQ(expected, Encoded(report));
    // Every field at its extremes comes back as it went.
    for (const WireMessage& m : testing_support::ExtremeReports()) {
        const WireMessage back = Decoded(Encoded(m));
        EXPECT_TRUE(m.mKind == back.mKind && m.mReport == back.mReport &&
                    m.mHasStatistics == back.mHasStatistics && m.mStatistics == back.mStatistics);
    }
}

// A text the wire cannot carry is refused by name, and nothing is written.
TEST(WireFormat, SenderRefusesTextsItCannotCarry) {
    WireMessage m;
    m.mReport.mCaller = std::string(256, 'x');
    WireMessage fax;
    fax.mHasStatistics = true;
    fax.mStatistics.mFax.mAnamnesis = std::string("a\0b", 3);
    for (const auto& [message, field] : {std::pair{m, "caller: text of 256 bytes"},
                                         std::pair{fax, "fax anamnesis: text holds a NUL"}}) {
        std::string out = "kept", error;
        EXPECT_FALSE(WireFormat::Encode(message, &out, &error));
        EXPECT_EQ("kept", out);
        EXPECT_EQ(0u, error.find(field)) << error;
    }
}

TEST(WireFormat, DecoderRefusesDamagedDatagrams) {
    // Every field at its largest: the longest datagram there is.
    const std::string good = Encoded(testing_support::ExtremeReports()[1]);
    EXPECT_LE(good.size(), WireFormat::kMaxMessage);
    EXPECT_NE(nullptr, Refusal(""));
    EXPECT_NE(nullptr, Refusal(std::string("\x01\x02\x00", 3)));
    std::string bad = good;
    bad[0] = 2;
    EXPECT_STREQ("unknown protocol version", Refusal(bad));
    bad = good;
    bad[1] = 0x7F;
    EXPECT_STREQ("unknown message type", Refusal(bad));
    EXPECT_STREQ("payload length does not match the datagram", Refusal(good + "x"));
    // Every cut-short datagram, with or without its header patched to match.
    for (size_t n = 0; n < good.size(); ++n) {
        std::string cut = good.substr(0, n);
        EXPECT_NE(nullptr, Refusal(cut)) << n;
        if (n >= WireFormat::kHeaderSize) {
            cut[2] = static_cast<char>((n - 4) >> 8);
            cut[3] = static_cast<char>((n - 4) & 0xFF);
            EXPECT_NE(nullptr, Refusal(cut)) << n;
        }
    }
    // A text length that runs past the end, a NUL inside a text, a bad flag.
    WireMessage small;
    small.mReport.mCalled = "abc";
    std::string s = Encoded(small);
    s[16] = 100;
    EXPECT_STREQ("text overruns the payload", Refusal(s));
    s = Encoded(small);
    s[18] = '\0';
    EXPECT_STREQ("text holds a NUL byte", Refusal(s));
    s = Encoded(small);
    s[s.size() - 1] = 2;
    EXPECT_STREQ("statistics flag is neither 0 nor 1", Refusal(s));
    // A status whose flag says 2: a flag has one encoding, 0 or 1.
    WireMessage status;
    status.mType = WireMessage::kStatusReport;
    status.mStatus.mDatabases[0].mOpen = true;
    s = Encoded(status);
    // The first database's open flag: after the count, its empty name and path.
    const size_t open = WireFormat::kHeaderSize + 1 + 1 + 2;
    ASSERT_EQ(1, s[open]);
    s[open] = 2;
    EXPECT_STREQ("flag is neither 0 nor 1", Refusal(s));
    // A command with a payload it does not have.
    EXPECT_STREQ("bytes after the last field", Refusal(std::string("\x01\x04\x00\x01\x00", 5)));
}
