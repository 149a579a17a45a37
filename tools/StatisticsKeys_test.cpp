#include "tools/StatisticsKeys.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/config/RecordFile.h"
#include "platform/media/GetNameByDspCodec.h"
#include "tests/support/ManagerFixture.h"

namespace cdr_test {

// The keys the tools take and the keys the recorder writes are one list:
// each key, given a value of its own, is written under its name with that
// value, and a record has no statistics key the tools do not know.
TEST_F(CDRManagerTest, EveryStatisticsKeyIsWrittenUnderItsName) {
    Settings("CDR_STATED_SAVE_INTERVAL=1\n");
    CallStatistics s;
    std::map<std::string, std::string> expected;
    char name[StatisticsKeys::kMaxKey];
    for (size_t i = 0; StatisticsKeys::Key(i, name); ++i) {
        const std::string key = name;
        const int n = 11 + static_cast<int>(i);  // not 0, which is not written, and no other key's
        std::string value = std::to_string(n);
        if (key.find("addr") != std::string::npos)
            value = "10.0.0." + value;
        if (key == "fax_anamnesis")
            value = "fine";
        std::string error;
        ASSERT_TRUE(StatisticsKeys::Set(&s, key, value, &error)) << key << ": " << error;
        expected[key] = value;
        if (key.find("_enc") != std::string::npos) {  // a code in, its codec's name written
            char name[64];
            GetNameByDspCodec(n, name);
            expected[key] = name;
        }
    }
    Manager m;
    ASSERT_EQ(1, m.OnAddCDR(1, Call("x"), &s));
    Configuration::RecordFile file(Db("CDR_db").c_str());
    ASSERT_TRUE(file.GotoFirstSection());
    std::map<std::string, std::string> written;
    file.ForEachSectionEntry([&](std::string_view k, std::string_view v) {
        written.emplace(std::string(k), std::string(v));
    });
    for (const char* report : {"ID", "ST", "dur", "called", "caller"}) written.erase(report);
    EXPECT_EQ(expected, written);
}

}  // namespace cdr_test

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
