#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/config/MultiSectionConfigFile.h"
#include "platform/config/RecordFile.h"
#include "platform/statdl/DownloadStatistics.h"
#include "platform/statdl/TimedCommand.h"
#include "tests/support/TempDir.h"

using namespace testing_support;

namespace {

// True while a process of that pid exists and is not a zombie.
bool Alive(const std::string& pidText) {
    const std::string stat = ReadFile("/proc/" + pidText + "/stat");
    const size_t paren = stat.rfind(')');
    return paren != std::string::npos && stat.size() > paren + 2 && stat[paren + 2] != 'Z';
}

// A killed process takes a moment to die: waits up to two seconds.
bool Gone(const std::string& pidText) {
    for (int i = 0; i < 200 && Alive(pidText); ++i) usleep(10000);
    return !Alive(pidText);
}

size_t Entries(const std::string& dir) {
    size_t n = 0;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = d ? readdir(d) : nullptr) n += e->d_name[0] != '.';
    if (d)
        closedir(d);
    return n;
}

}  // namespace

TEST(TimedCommandTest, EndsEveryCommandWithinItsLimit) {
    TempDir dir;
    int status = -1;
    EXPECT_EQ(TimedCommand::kExited, TimedCommand::Run("exit 3", 5, &status));
    EXPECT_EQ(3, status);
    // Output goes nowhere, so a command that writes a lot cannot block.
    EXPECT_EQ(TimedCommand::kExited,
              TimedCommand::Run("head -c 10000000 /dev/zero; exit 0", 30, &status));
    EXPECT_EQ(0, status);
    // Its standard error gives its first line, and is drained, however much.
    std::string said;
    EXPECT_EQ(TimedCommand::kExited,
              TimedCommand::Run("echo 'no route'>&2; head -c 1000000 /dev/zero >&2; exit 6", 30,
                                &status, -1, &said));
    EXPECT_EQ(6, status);
    EXPECT_EQ("no route", said);

    // Out of time: the shell and what it started are killed.
    const std::string pidFile = dir.File("pid");
    EXPECT_EQ(TimedCommand::kKilledAtTimeout,
              TimedCommand::Run("sleep 60 & echo $! >" + pidFile + "; wait", 1, &status));
    EXPECT_EQ(128 + SIGKILL, status);
    std::string pid = ReadFile(pidFile);
    pid.erase(pid.find_last_not_of('\n') + 1);
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(Gone(pid));

    // A command that ends takes what it left in the background with it.
    EXPECT_EQ(TimedCommand::kExited,
              TimedCommand::Run("sleep 60 & echo $! >" + pidFile, 5, &status));
    pid = ReadFile(pidFile);
    pid.erase(pid.find_last_not_of('\n') + 1);
    EXPECT_TRUE(Gone(pid));

    // A caller killed while its command runs takes the command with it.
    unlink(pidFile.c_str());
    const pid_t caller = fork();
    ASSERT_GE(caller, 0);
    if (caller == 0) {
        TimedCommand::Run("sleep 60 & echo $! >" + pidFile + "; wait", 60, &status);
        _exit(0);
    }
    for (int i = 0; i < 500 && ReadFile(pidFile).empty(); ++i) usleep(10000);
    kill(caller, SIGKILL);
    waitpid(caller, nullptr, 0);
    pid = ReadFile(pidFile);
    pid.erase(pid.find_last_not_of('\n') + 1);
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(Gone(pid));
}

class DownloadStatisticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        mBase = mDir.Path() + "/";
        setenv("KELT_PATH", mBase.c_str(), 1);
        mkdir(mDir.File("tmp").c_str(), 0700);
        setenv("TMPDIR", mDir.File("tmp").c_str(), 1);
        mFile.AddSection(true);
        mFile.AddSectionEntry("type", "1");
        mFile.AddSectionEntry("caller", "a\nb=c");
    }
    void TearDown() override { unsetenv("TMPDIR"); }
    void Settings(const std::string& text) { WriteFile(mBase + "auto-down-stat.conf", text); }
    int Download(Configuration::MultiSectionConfigFile* file) {
        DownloadStatistics d;
        return d.StartDownloadStatistics(file);
    }

    TempDir mDir;
    std::string mBase;
    Configuration::RecordSections mFile;
};

TEST_F(DownloadStatisticsTest, DeliversTheSectionsInMemory) {
    // The command line reaches the shell as it stands, backslashes and all,
    // whatever else the file holds.
    Settings("a stray line\ndownload_cnt=5\ndownload_cmd=sed 's/a\\\\nb/X/' %f >" +
             mDir.File("got") + " && ls -A " + mDir.File("tmp") + " >" + mDir.File("listing") +
             "  # for the shell\n");
    EXPECT_EQ(1, Download(&mFile));
    EXPECT_EQ("", ReadFile(mDir.File("listing")));  // nameless while the command runs
    std::string text;
    mFile.WriteText(&text);
    EXPECT_EQ("{\ntype=1\ncaller=a\\nb=c\n}\n", text);
    EXPECT_EQ("{\ntype=1\ncaller=X=c\n}\n", ReadFile(mDir.File("got")));
    EXPECT_EQ(0u, Entries(mDir.File("tmp")));
}

TEST_F(DownloadStatisticsTest, FailuresLeaveNoFile) {
    // No settings file, no command, an empty command.
    EXPECT_EQ(0, Download(&mFile));
    Settings("download_cnt=5\n");
    EXPECT_EQ(0, Download(&mFile));
    Settings("download_cmd=\n");
    EXPECT_EQ(0, Download(&mFile));
    // Nothing collected: the command is not run.
    Settings("download_cmd=touch " + mDir.File("ran") + "\n");
    EXPECT_EQ(0, Download(nullptr));
    EXPECT_NE(0, access(mDir.File("ran").c_str(), F_OK));
    // The command fails, or outlives its time.
    Settings("download_cmd=cat %f >/dev/null; exit 7\n");
    EXPECT_EQ(0, Download(&mFile));
    Settings("download_timeout=1\ndownload_cmd=sleep 60\n");
    EXPECT_EQ(0, Download(&mFile));
    // A settings file the system cannot read.
    mkdir((mBase + "auto-down-stat.conf").c_str(), 0755);
    EXPECT_EQ(0, Download(&mFile));
    rmdir((mBase + "auto-down-stat.conf").c_str());
    EXPECT_EQ(0u, Entries(mDir.File("tmp")));
    // No room for the temporary file.
    setenv("TMPDIR", mDir.File("missing").c_str(), 1);
    Settings("download_cmd=true\n");
    EXPECT_EQ(0, Download(&mFile));
}
