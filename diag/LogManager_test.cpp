#include "diag/LogManager.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "diag/LocalClock.h"

#include "tests/support/TempDir.h"
#include "tests/support/TestSystem.h"

using namespace testing_support;

namespace {

// 2025-12-05 16:03:27 UTC.
const time_t kStart = 1764950607;

// Standard error of this process, captured in a file while the object lives.
class StderrCapture {
public:
    explicit StderrCapture(const std::string& path) {
        fflush(stderr);
        mSaved = dup(STDERR_FILENO);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrCapture() {
        dup2(mSaved, STDERR_FILENO);
        close(mSaved);
    }

private:
    int mSaved;
};

class LogManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        SetNow(kStart, 42);
        mPath = mDir.File("cdr.log");
    }
    void SetNow(time_t seconds, unsigned short ms) { mSystem.SetClock(seconds, ms); }
    std::string Log() { return ReadFile(mPath); }

    testing_support::TestSystem mSystem;
    TempDir mDir;
    std::string mPath;
};

}  // namespace

// What one manager writes for a sequence of calls: stamps with a blank
// time for lines of the same second, tags, prefixes and the indent.
TEST_F(LogManagerTest, FormatsLinesAsTheDeviceDoes) {
    const struct {
        const char* what;
        unsigned long bufferSize;
        std::function<void(LogManager&)> calls;
        std::string expected;
    } cases[] = {
        {"one second keeps the millisecond columns", 8192,
         [&](LogManager& log) {
             log.TRACE("first %d\n", 1);
             SetNow(kStart, 45);
             log.TRACE("second\n");
             SetNow(kStart + 1, 7);
             log.TRACE("%s", "third, no line end");
             log.TRACE("\n");
         },
         "16:03:27.042  first 1\n        .045  second\n16:03:28.007  third, no line end"
         "        .007  \n"},
        {"an empty message writes nothing, a long one is cut", 64,
         [](LogManager& log) {
             log.SetOptions(false, true, nullptr);
             log.TRACE("held\n");  // buffered in the stream: no flush yet
             log.SetOptions(true, true, nullptr);
             log.TRACE("%s", "");  // does not flush either
             log.TRACE("%s", std::string(200, 'z').c_str());
         },
         "16:03:27.042  held\n        .042  " + std::string(64 - 1 - 14, 'z')},
        {"levels are tagged; without stamps the message alone", 8192,
         [](LogManager& log) {
             log.PANIC(1, "warned\n");
             log.PANIC(-1, "also warned\n");
             log.SetOptions(true, false, nullptr);
             log.TRACE("plain %d\n", 5);
             log.PANIC(0, "no tag %s\n", "here");
         },
         "16:03:27.042  <WARNING> warned\n        .042  <WARNING> also warned\nplain 5\n"
         "no tag here\n"},
        {"prefixes", 8192,
         [](LogManager& log) {
             EXPECT_EQ(std::string(5, ' '), log.GetIndent());  // nothing stamped yet
             log.SetOptions(true, true, "cdr");
             log.TRACE("one\n");
             EXPECT_EQ("cdr " + std::string(14, ' '), log.GetIndent());
             log.SetOptions(true, true, "B");
             log.TRACE("two\n");
             log.SetOptions(true, true, nullptr);
             log.TRACE("three\n");
             log.SetOptions(true, true, "");  // no prefix set: none
             log.TRACE("four\n");
             log.SetOptions(true, true, "A");
             log.SetOptions(true, true, "");  // with A set: A and two blanks
             log.TRACE("five\n");
         },
         "cdr 16:03:27.042  one\ncdr B         .042  two\n        .042  three\n"
         "        .042  four\nA          .042  five\n"},
    };
    for (const auto& c : cases) {
        unlink(mPath.c_str());
        SetNow(kStart, 42);
        LogManager log(mPath.c_str(), true, true, 0, c.bufferSize);
        c.calls(log);
        EXPECT_EQ(c.expected, Log()) << c.what;
    }

    // A prefix too long for the indent buffer is cut, never written past it.
    LogManager log(mPath.c_str(), true, true, 0, 8192);
    log.SetOptions(true, true, std::string(200, 'p').c_str());
    log.TRACE("six\n");
    const std::string indent = log.GetIndent();
    EXPECT_LT(indent.size(), 64u);
    EXPECT_EQ(std::string(indent.size() - 14, 'p').substr(1) + " ",
              indent.substr(0, indent.size() - 14));
}

// On the device the clock goes on past 2038-01-19T03:14:07Z: the stamps
// follow it, and so does the clock the crash guard's handler reads, which
// agrees with the C library's calendar at any moment.
TEST_F(LogManagerTest, ClocksGoOnPast2038) {
    static_assert(sizeof(time_t) == 8, "64-bit time_t on every build");
    LogManager log(mPath.c_str(), true, true, 0, 8192);
    SetNow(time_t{0x80000000}, 1);
    log.TRACE("past 2038\n");
    EXPECT_EQ("03:14:08.001  past 2038\n", Log());

    LocalClock::RememberOffset(0);
    std::mt19937_64 random(2038);
    for (int i = 0; i < 10000; ++i) {
        // From 1901 to 2200, and the edges of 32-bit time.
        const int64_t t = i < 3 ? int64_t{0x7FFFFFFF} + i - 1
                                : static_cast<int64_t>(random() % 9467280000ULL) - 2145916800;
        const time_t seconds = static_cast<time_t>(t);
        struct tm expected, got = {};
        ASSERT_TRUE(gmtime_r(&seconds, &expected));
        LocalClock::Split(t, &got);
        ASSERT_EQ(
            std::make_tuple(expected.tm_year, expected.tm_mon, expected.tm_mday, expected.tm_hour,
                            expected.tm_min, expected.tm_sec, expected.tm_wday),
            std::make_tuple(got.tm_year, got.tm_mon, got.tm_mday, got.tm_hour, got.tm_min,
                            got.tm_sec, got.tm_wday))
            << t;
    }
}

TEST_F(LogManagerTest, DateBannerComesWithEvery32ndNewSecond) {
    LogManager log(mPath.c_str(), true, true, 0, 8192);
    for (int s = 0; s < 31; ++s) {
        SetNow(kStart + s, 0);
        log.TRACE("a\n");
        log.TRACE("b\n");  // same second: does not count
    }
    EXPECT_EQ(std::string::npos, Log().find("Date"));
    SetNow(kStart - 100, 0);  // a step back in time is a new second too
    log.TRACE("32nd\n");
    const std::string banner = "05  Dec 2025  <---- Date ----<<<\n";
    EXPECT_NE(std::string::npos, Log().find(banner + "16:01:47.000  32nd\n")) << Log();
    for (int s = 1; s <= 32; ++s) {
        SetNow(kStart + 1000 + s, 0);
        log.TRACE("x\n");
    }
    const std::string text = Log();
    EXPECT_EQ(2u, testing_support::Count(text, banner));
    EXPECT_EQ(banner + "16:20:39.000  x\n", text.substr(text.size() - banner.size() - 16));
}

TEST_F(LogManagerTest, ErrorsAlsoGoToStandardErrorWhenFlushed) {
    LogManager log(mPath.c_str(), true, true, 0, 8192);
    {
        StderrCapture capture(mDir.File("stderr"));
        log.PANIC(0, "disk %s\n", "100% full");
        log.PANIC(1, "warned\n");
        log.SetOptions(false, true, nullptr);
        log.PANIC(0, "not echoed\n");  // flush flag off: still flushed, not echoed
    }
    EXPECT_EQ(
        "16:03:27.042  <<ERROR>> disk 100% full\n        .042  <WARNING> warned\n"
        "        .042  <<ERROR>> not echoed\n",
        Log());
    EXPECT_EQ("16:03:27.042  <<ERROR>> disk 100% full\n", ReadFile(mDir.File("stderr")));
}

TEST_F(LogManagerTest, QueuedModeLosesNoLine) {
    {
        // Room for every line: a full queue drops lines, which is not under test here.
        LogManager log(mPath.c_str(), true, true, 1000, 128);
        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t)
            threads.emplace_back([&log, t] {
                for (int i = 0; i < 500; ++i) log.TRACE("thread %d line %d\n", t, i);
            });
        for (auto& th : threads) th.join();
        log.SetOptions(true, true, "pre");
        log.TRACE("direct\n");  // with a prefix: the caller writes
    }                           // destroyed with the writer running: it drains and stops first
    const std::string text = Log();
    for (int t = 0; t < 2; ++t) {
        size_t last = 0;
        for (int i = 0; i < 500; ++i) {
            size_t at =
                text.find("thread " + std::to_string(t) + " line " + std::to_string(i) + "\n");
            ASSERT_NE(std::string::npos, at) << t << " " << i;
            EXPECT_GE(at, last);
            last = at;
        }
    }
    EXPECT_NE(std::string::npos, text.find("pre         .042  direct\n"));
}
