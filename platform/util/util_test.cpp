#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/util/SmartBuffer.h"
#include "platform/util/SockAddr.h"
#include "platform/util/ThreadMutex.h"

TEST(SockAddr, FirstTextPartIsMostSignificantByte) {
    SockAddr addr;
    EXPECT_STREQ("0.0.0.0", addr.DottedDecimal());
    addr = 0x0A000001UL;
    EXPECT_STREQ("10.0.0.1", addr.DottedDecimal());
    addr = 0xC0A8FE09UL;
    EXPECT_STREQ("192.168.254.9", addr.DottedDecimal());
    addr = 0xFFFFFFFFUL;
    EXPECT_STREQ("255.255.255.255", addr.DottedDecimal());
    addr = 0x64630A00UL;  // 100, 99, 10, 0: every digit-count boundary
    EXPECT_STREQ("100.99.10.0", addr.DottedDecimal());
    EXPECT_EQ(0x64630A00u, addr.Address());
}

TEST(SmartBuffer, IsZeroFilledAndNeverEmpty) {
    SmartBuffer buf;
    ASSERT_EQ(SmartBuffer::kDefaultSize, buf.GetSize());
    for (size_t i = 0; i < buf.GetSize(); ++i) ASSERT_EQ('\0', buf.GetBuffer()[i]);
    SmartBuffer none(0);
    EXPECT_EQ(1u, none.GetSize());
    EXPECT_EQ('\0', none.GetBuffer()[0]);
}

TEST(ThreadMutex, SerialisesIncrementsAcrossThreads) {
    ThreadMutex mutex;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                ThreadMutexLock hold(mutex);
                counter = counter + 1;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(80000, counter);
}
