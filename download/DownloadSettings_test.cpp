#include "download/DownloadSettings.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "tests/support/TempDir.h"

using namespace testing_support;

TEST(DownloadSettingsTest, OnlyExactlyTrueSwitchesOn) {
    TempDir dir;
    const std::string base = dir.Path() + "/";
    setenv("KELT_PATH", base.c_str(), 1);
    mkdir((base + "sysconfig").c_str(), 0755);
    int32_t on = 5, count = 9;
    EXPECT_FALSE(DownloadSettings::ReadAutoDownload(&on));  // no file
    EXPECT_FALSE(DownloadSettings::ReadDownloadCount(&count));
    EXPECT_EQ(5, on);
    EXPECT_EQ(9, count);
    // Only "true" is on; a value that means on elsewhere is noted.
    for (const char* value : {"TRUE", "yes", "1", "truex", "'true '", "false"}) {
        WriteFile(base + "sysconfig/rc.conf",
                  std::string("START_AUTO_DOWNLOAD_STAT=") + value + "\n");
        on = 1;
        std::vector<Problem> problems;
        EXPECT_TRUE(DownloadSettings::ReadAutoDownload(&on, &problems));
        EXPECT_EQ(0, on) << value;
        EXPECT_EQ(std::string(value) == "TRUE" || std::string(value) == "yes" ||
                      std::string(value) == "1",
                  problems.size() == 1)
            << value;
    }
    // As a shell reads it: quotes and a trailing comment.
    WriteFile(base + "sysconfig/rc.conf",
              "# comment\nSTART_AUTO_DOWNLOAD_STAT=\"true\"  # on since May\n");
    EXPECT_TRUE(DownloadSettings::ReadAutoDownload(&on));
    EXPECT_EQ(1, on);
    WriteFile(base + "sysconfig/rc.conf", "OTHER=1\n");
    EXPECT_FALSE(DownloadSettings::ReadAutoDownload(&on));
    EXPECT_EQ(1, on);

    WriteFile(base + "auto-down-stat.conf", "download_cnt=none\nstray line\n");
    std::vector<Problem> problems;
    EXPECT_TRUE(DownloadSettings::ReadDownloadCount(&count, &problems));
    EXPECT_EQ(0, count);
    ASSERT_EQ(2u, problems.size());
    EXPECT_EQ(base + "auto-down-stat.conf:2: not a KEY=VALUE line; skipped",
              problems[0].Describe());
    EXPECT_EQ(base + "auto-down-stat.conf:1: download_cnt=none: not a whole number; read as 0",
              problems[1].Describe());
    unlink((base + "auto-down-stat.conf").c_str());
    mkdir((base + "auto-down-stat.conf").c_str(), 0755);
    EXPECT_THROW(DownloadSettings::ReadDownloadCount(&count), std::exception);
}
