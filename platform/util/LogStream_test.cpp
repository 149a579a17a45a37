#include "platform/util/LogStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>

#include "tests/support/TempDir.h"

using namespace testing_support;

TEST(LogStream, RotatesBetweenWholeTexts) {
    TempDir dir;
    const std::string path = dir.File("cdr.log");
    testing_support::WriteFile(path, "old line\n");
    {
        LogStream log(path.c_str(), true, true, 30, 2, 16, false);
        log.TRACE("0123456789 one\n", 3, 0);  // appended: 9 + 15 bytes
        log.Flush();
        EXPECT_EQ("old line\n0123456789 one\n", ReadFile(path));
        log.TRACE("0123456789 two\n", 3, 0);  // would pass 30: rotates first
        log.TRACE("three\n", 3, 0);
        log.Flush();
        EXPECT_EQ("old line\n0123456789 one\n", ReadFile(path + ".1"));
        EXPECT_EQ("0123456789 two\nthree\n", ReadFile(path));
        log.TRACE(std::string(60, 'L').append("\n").c_str(), 3, 0);  // longer than the limit
        log.TRACE("after\n", 3, 0);
    }  // the destructor flushes
    EXPECT_EQ("0123456789 two\nthree\n", ReadFile(path + ".2"));
    EXPECT_EQ(std::string(60, 'L') + "\n", ReadFile(path + ".1"));
    EXPECT_EQ("after\n", ReadFile(path));
}

namespace {
void Formatted(LogStream& log, const char* format, ...) {
    va_list args;
    va_start(args, format);
    log.TRACE(3, format, args, 0);
    va_end(args);
}
}  // namespace

TEST(LogStream, FormatsMessagesInOrderWithBufferedText) {
    TempDir dir;
    const std::string path = dir.File("sub/cdr.log");  // missing directory is made
    LogStream log(path.c_str(), true, true, INT32_MAX, 1, 8192, false);
    log.TRACE("first\n", 3, 0);
    Formatted(log, "second %d %s\n", 2, "100%");
    log.Flush();
    EXPECT_EQ("first\nsecond 2 100%\n", ReadFile(path));
}

// On a RAM disk the log must not grow without end: the device's limit
// (256 KiB unless set) caps each file, leaving room for a crash report,
// and keeps lines whole.
TEST(LogStream, TheDevicesLimitCapsEveryFile) {
    for (const size_t kb : {16, 256}) {
        TempDir dir;
        setenv("KELT_PATH", (dir.Path() + "/").c_str(), 1);
        mkdir(dir.File("sysconfig").c_str(), 0755);
        WriteFile(dir.File("sysconfig/general_settings.conf"),
                  kb == 256 ? "" : "CDR_LOG_MAX_KB=" + std::to_string(kb) + "\n");
        const std::string path = dir.File("cdr.log");
        {
            LogStream log(path.c_str(), true, true, INT32_MAX, 1, 8192, false);
            for (size_t i = 0; i < kb * 100; ++i) log.TRACE("        .123  OnAddCDR\n", 3, 0);
        }
        unsetenv("KELT_PATH");
        for (const std::string& file : {path, path + ".1"}) {
            const std::string text = ReadFile(file);
            ASSERT_FALSE(text.empty()) << file;
            EXPECT_LE(text.size(), kb * 1024 - 4096) << file;
            EXPECT_EQ('\n', text.back());
        }
        EXPECT_GT(ReadFile(path + ".1").size(), kb * 1024 - 4096 - 30);  // filled to the limit
    }
}
