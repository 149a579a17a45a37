#include "tools/StatisticsKeys.h"

#include <gtest/gtest.h>

TEST(StatisticsKeys, EveryKeyReachesItsOwnField) {
    const std::vector<std::string> keys = StatisticsKeys::All();
    ASSERT_EQ(37u, keys.size());
    // Setting each key alone must change the statistics, and differently from every other key.
    std::vector<CallStatistics> seen;
    for (const std::string& key : keys) {
        CallStatistics s;
        std::string error;
        const bool address = key.find("addr") != std::string::npos;
        ASSERT_TRUE(StatisticsKeys::Set(&s, key, address ? "10.0.0.1" : "7", &error)) << error;
        EXPECT_FALSE(s == CallStatistics()) << key;
        for (const CallStatistics& other : seen) EXPECT_FALSE(s == other) << key;
        seen.push_back(s);
    }
}

TEST(StatisticsKeys, ValuesAreCheckedAgainstTheFieldWidth) {
    CallStatistics s;
    std::string error;
    EXPECT_TRUE(StatisticsKeys::Set(&s, "rem_addr_2", "192.168.1.254", &error));
    EXPECT_EQ(0xC0A801FEu, s.mStream2.mRemoteAddress);
    EXPECT_TRUE(StatisticsKeys::Set(&s, "tx_pkt", "4294967295", &error));
    EXPECT_EQ(0xFFFFFFFFu, s.mStream1.mPacketsSent);
    EXPECT_TRUE(StatisticsKeys::Set(&s, "rx_delay_incr", "N/A", &error));
    EXPECT_EQ(0xFFFF, s.mStream1.mDelayIncrease);
    EXPECT_TRUE(StatisticsKeys::Set(&s, "fax_anamnesis", "a=b", &error));
    EXPECT_EQ("a=b", s.mFax.mAnamnesis);

    const std::pair<const char*, const char*> bad[] = {
        {"tx_pkt", "4294967296"},  {"loc_port", "65536"},
        {"rx_lost", "-1"},         {"rem_addr", "1.2.3"},
        {"rem_addr", "1.2.3.256"}, {"loc_addr", "1.2.3.4.5"},
        {"tx_enc", "PCMA"},        {"tx_pkt", ""},
        {"rx_pkt_3", "1"},         {"tx_pkt_sz", "N/A"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(StatisticsKeys::Set(&s, b.first, b.second, &error)) << b.first << b.second;
        EXPECT_FALSE(error.empty());
    }
}
