#include "download/DownloadSettings.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "tests/support/TempDir.h"

using testing_support::TempDir;
using testing_support::WriteFile;

TEST(DownloadSettingsTest, CountParsesLikeTheDevice) {
    EXPECT_EQ(100, DownloadSettings::ParseCount("100"));
    EXPECT_EQ(-12, DownloadSettings::ParseCount(" \t-12abc"));
    EXPECT_EQ(7, DownloadSettings::ParseCount("+7"));
    EXPECT_EQ(0, DownloadSettings::ParseCount("abc"));
    EXPECT_EQ(0, DownloadSettings::ParseCount(""));
    EXPECT_EQ(0, DownloadSettings::ParseCount("-"));
    EXPECT_EQ(INT32_MAX, DownloadSettings::ParseCount("99999999999999999999"));
    EXPECT_EQ(INT32_MIN, DownloadSettings::ParseCount("-99999999999999999999"));
}

TEST(DownloadSettingsTest, OnlyExactlyTrueSwitchesOnAndMissingKeysChangeNothing) {
    TempDir dir;
    const std::string base = dir.Path() + "/";
    setenv("KELT_PATH", base.c_str(), 1);
    mkdir((base + "sysconfig").c_str(), 0755);
    int32_t on = 5, count = 9;
    EXPECT_FALSE(DownloadSettings::ReadAutoDownload(&on));  // no file
    EXPECT_FALSE(DownloadSettings::ReadDownloadCount(&count));
    EXPECT_EQ(5, on);
    EXPECT_EQ(9, count);
    for (const char* value : {"TRUE", "yes", "1", "truex", "\"true\""}) {
        WriteFile(base + "sysconfig/rc.conf",
                  std::string("START_AUTO_DOWNLOAD_STAT=") + value + "\n");
        on = 1;
        EXPECT_TRUE(DownloadSettings::ReadAutoDownload(&on));
        EXPECT_EQ(0, on) << value;
    }
    WriteFile(base + "sysconfig/rc.conf", "# comment\nSTART_AUTO_DOWNLOAD_STAT=true\n");
    EXPECT_TRUE(DownloadSettings::ReadAutoDownload(&on));
    EXPECT_EQ(1, on);
    WriteFile(base + "sysconfig/rc.conf", "OTHER=1\n");
    EXPECT_FALSE(DownloadSettings::ReadAutoDownload(&on));
    EXPECT_EQ(1, on);

    WriteFile(base + "auto-down-stat.conf", "download_cnt=none\n");
    EXPECT_TRUE(DownloadSettings::ReadDownloadCount(&count));
    EXPECT_EQ(0, count);
    WriteFile(base + "auto-down-stat.conf", "{ not a settings line\n");
    EXPECT_THROW(DownloadSettings::ReadDownloadCount(&count), std::exception);
}
