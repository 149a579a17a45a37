#include "platform/util/LogStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>

#include "tests/support/TempDir.h"

using namespace testing_support;

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
