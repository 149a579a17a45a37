#include "platform/config/ConfigFile.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "platform/config/FileError.h"
#include "tests/support/TempDir.h"

using Configuration::ConfigFile;
using Configuration::FileError;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::string Get(const ConfigFile& f, const char* key, size_t size = 256) {
    char buf[256] = "unset";
    return f.GetEntry(key, buf, size) ? buf : "<absent>";
}

}  // namespace

TEST(ConfigFile, ReadsSettingsAsWrittenByHand) {
    TempDir dir;
    const std::string path = dir.File("rc.conf");
    WriteFile(path,
              "# device settings\n"
              "START_AUTO_DOWNLOAD_STAT=true\n"
              "  download_cnt = 100  \n"
              "\n"
              "EMPTY=\n"
              "DUP=first\n"
              "DUP=second\r\n");
    ConfigFile f(path.c_str(), false, false, false, "=", "#", nullptr);
    EXPECT_EQ("true", Get(f, "START_AUTO_DOWNLOAD_STAT"));
    EXPECT_EQ("100", Get(f, "download_cnt"));
    EXPECT_EQ("", Get(f, "EMPTY"));
    EXPECT_EQ("second", Get(f, "DUP"));  // the last one counts
    EXPECT_EQ("<absent>", Get(f, "missing"));
    EXPECT_EQ("<absent>", Get(f, "# device settings"));
    EXPECT_EQ("1", Get(f, "download_cnt", 2));  // cut to the buffer, terminated

    ConfigFile none(dir.File("absent").c_str(), true, false, false, "=", "#", nullptr);
    EXPECT_EQ("<absent>", Get(none, "download_cnt"));
}

TEST(ConfigFile, SetAndSaveKeepCommentsAndOtherLines) {
    TempDir dir;
    const std::string path = dir.File("sysconfig/general_paths.conf");
    ConfigFile fresh(path.c_str(), true, false, false, "=", "#", nullptr);
    fresh.SetEntry("CDR_STATED_DB", "calls");
    fresh.Save(true, nullptr);  // creates the missing directory
    EXPECT_EQ("CDR_STATED_DB=calls\n", ReadFile(path));

    WriteFile(path, "# where records go\nCDR_STATED_DB = calls   # not a comment\nOTHER=1\n");
    ConfigFile f(path.c_str(), true, false, false, "=", "#", nullptr);
    EXPECT_EQ("calls   # not a comment", Get(f, "CDR_STATED_DB"));
    f.SetEntry("CDR_STATED_DB", "/data/stated");
    f.SetEntry("CDR_MISSED_DB", " spaced\n");
    f.Save(true, nullptr);
    EXPECT_EQ(
        "# where records go\nCDR_STATED_DB=/data/stated\nOTHER=1\nCDR_MISSED_DB=\\x20spaced\\n\n",
        ReadFile(path));
    ConfigFile back(path.c_str(), true, false, false, "=", "#", nullptr);
    EXPECT_EQ(" spaced\n", Get(back, "CDR_MISSED_DB"));
}

TEST(ConfigFile, AwkwardKeysAndValuesRoundTrip) {
    TempDir dir;
    const std::string path = dir.File("c.conf");
    const std::string alphabet = "\n\r\\=# \tk\x80\xff{}";
    std::mt19937 rng(7);
    std::map<std::string, std::string> expected;
    {
        ConfigFile f(path.c_str(), true, false, false, "=", "#", nullptr);
        for (int i = 0; i < 500; ++i) {
            std::string k(1 + rng() % 6, ' '), v(rng() % 8, ' ');
            for (char& c : k) c = alphabet[rng() % alphabet.size()];
            for (char& c : v) c = alphabet[rng() % alphabet.size()];
            expected[k] = v;
            f.SetEntry(k.c_str(), v.c_str());
        }
        f.Save(true, nullptr);
    }
    ConfigFile f(path.c_str(), true, false, false, "=", "#", nullptr);
    for (const auto& kv : expected) {
        char buf[32];
        ASSERT_TRUE(f.GetEntry(kv.first.c_str(), buf, sizeof buf));
        EXPECT_EQ(kv.second, buf);
    }
}

TEST(ConfigFile, DamagedLineThrowsNamingPathAndLine) {
    TempDir dir;
    const std::string path = dir.File("rc.conf");
    WriteFile(path, "A=1\n# fine\nnot an entry\n");
    try {
        ConfigFile f(path.c_str(), false, false, false, "=", "#", nullptr);
        ADD_FAILURE() << "damaged file accepted";
    } catch (const FileError& e) {
        EXPECT_EQ(3u, e.Line());
        EXPECT_EQ(0u, std::string(e.what()).find(path + ":3: "));
    }
    WriteFile(path, "A=\\z\n");
    EXPECT_THROW(ConfigFile(path.c_str(), false, false, false, "=", "#", nullptr), FileError);
}
