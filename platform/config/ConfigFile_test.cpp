#include "platform/config/ConfigFile.h"

#include <gtest/gtest.h>

#include "platform/config/FileError.h"
#include "tests/support/TempDir.h"

using Configuration::ConfigFile;
using Configuration::FileError;
using Configuration::SettingsFile;
using namespace testing_support;

namespace {

std::string Get(const ConfigFile& f, const char* key, size_t size = 256) {
    char buf[256] = "unset";
    return f.GetEntry(key, buf, size) ? buf : "<absent>";
}

}  // namespace

TEST(ConfigFile, ReadsSettingsAsWrittenByHandOrByScripts) {
    TempDir dir;
    const std::string path = dir.File("rc.conf");
    WriteFile(path,
              "\xEF\xBB\xBF# device settings\n"
              "START_AUTO_DOWNLOAD_STAT=\"true\"  # on\n"
              "  download_cnt = 100  \n"
              "a stray line\n"
              "EMPTY=\n"
              "DUP=first\n"
              "download_cmd=sed 's/\\./,/g' %f > out.csv # not a comment\n"
              "DUP=second\r\n");
    SettingsFile f(path.c_str(), false);
    EXPECT_EQ("true", Get(f, "START_AUTO_DOWNLOAD_STAT"));
    EXPECT_EQ("100", Get(f, "download_cnt"));
    EXPECT_EQ("", Get(f, "EMPTY"));
    EXPECT_EQ("second", Get(f, "DUP"));  // the last one counts
    EXPECT_EQ(8u, f.GetEntryLine("DUP"));
    EXPECT_EQ("<absent>", Get(f, "missing"));
    EXPECT_EQ(0u, f.GetEntryLine("missing"));
    EXPECT_EQ("1", Get(f, "download_cnt", 2));  // cut to the buffer, terminated
    char raw[256];
    ASSERT_TRUE(f.GetRawEntry("download_cmd", raw, sizeof raw));
    EXPECT_STREQ("sed 's/\\./,/g' %f > out.csv # not a comment", raw);
    EXPECT_EQ(path + ":4: not a KEY=VALUE line; skipped", f.Notes().Describe(path));

    SettingsFile none(dir.File("absent").c_str(), true);
    EXPECT_EQ("<absent>", Get(none, "download_cnt"));
    // Only a file the system cannot read is refused.
    EXPECT_THROW(SettingsFile(dir.Path().c_str(), true), FileError);
    EXPECT_THROW(SettingsFile("", true), FileError);
}

TEST(ConfigFile, SavingKeepsEveryOtherLine) {
    TempDir dir;
    const std::string path = dir.File("sysconfig/general_paths.conf");
    SettingsFile fresh(path.c_str(), true);
    fresh.SetEntry("CDR_STATED_DB", "calls");
    fresh.Save(true, nullptr);  // creates the missing directory
    EXPECT_EQ("CDR_STATED_DB=calls\n", ReadFile(path));

    WriteFile(path, "# where records go\nCDR_STATED_DB = calls   # a comment\nstray\nOTHER=1\n");
    SettingsFile f(path.c_str(), true);
    EXPECT_EQ("calls", Get(f, "CDR_STATED_DB"));
    f.SetEntry("CDR_STATED_DB", "/data/stated");
    f.SetEntry("CDR_MISSED_DB", " spaced\n");
    f.Save(true, nullptr);
    EXPECT_EQ(
        "# where records go\nCDR_STATED_DB=/data/stated\nstray\nOTHER=1\n"
        "CDR_MISSED_DB=\\x20spaced\\n\n",
        ReadFile(path));
    SettingsFile back(path.c_str(), true);
    EXPECT_EQ(" spaced\n", Get(back, "CDR_MISSED_DB"));
}
