// The automatic statistics download as the manager runs it, with a real
// collector command that logs each attempt and fails while a flag file exists.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/ManagerFixture.h"

using namespace cdr_test;

namespace {

class DownloadTest : public CDRManagerTest {
protected:
    void SetUp() override {
        CDRManagerTest::SetUp();
        unlink(Rooted(kStatFile).c_str());
        Switch("true");
    }
    void Switch(const std::string& value) {
        WriteFile(mBase + "sysconfig/rc.conf", "START_AUTO_DOWNLOAD_STAT=" + value + "\n");
    }
    // COUNT empty: no download_cnt at all.
    void DownloadCount(const std::string& count) {
        std::string text = "download_cmd=grep -c '^{$' %f >>" + mDir.File("attempts") +
                           "; cat %f >>" + mDir.File("delivered") + "; test ! -e " +
                           mDir.File("fail") + " || { echo 'collector: no route' >&2; exit 7; }\n";
        if (!count.empty())
            text += "download_cnt=" + count + "\n";
        WriteFile(mBase + "auto-down-stat.conf", text);
    }
    void Fail(bool fail) {
        if (fail)
            WriteFile(mDir.File("fail"), "");
        else
            unlink(mDir.File("fail").c_str());
    }
    // The records each attempt found, one line per attempt.
    std::string Attempts() { return ReadFile(mDir.File("attempts")); }
    void Add(Manager& m, int n, int kind = 1) {
        for (int i = 0; i < n; ++i) ASSERT_EQ(1, m.OnAddCDR(kind, Call("x"), nullptr));
    }
    // Statistics records held for the next download.
    static uint32_t Collected(Manager& m) { return m.CurrentStatus().mCollected; }
};

}  // namespace

TEST_F(DownloadTest, ACountOf100TriesEveryTenthAndHoldsTwiceTheCount) {
    DownloadCount("100");
    Fail(true);
    Manager m;
    ASSERT_TRUE(m.CurrentStatus().mDownload);
    Add(m, 201);
    EXPECT_EQ("100\n110\n120\n130\n140\n150\n160\n170\n180\n190\n200\n", Attempts());
    // The failure at 200 dropped the 10 oldest before the report went in.
    EXPECT_EQ(191u, Collected(m));
    Fail(false);
    Add(m, 9);  // 191 to 199: none due
    EXPECT_EQ(200u, Collected(m));
    unlink(mDir.File("delivered").c_str());
    Add(m, 1);
    EXPECT_EQ(200u, Count(ReadFile(mDir.File("delivered")), "{\n"));
    EXPECT_EQ(1u, Collected(m));                            // the report that triggered it
    EXPECT_EQ("", ReadFile(Rooted(kStatFile)));             // emptied and saved at once
    EXPECT_EQ(std::string::npos, Log().find("Download:"));  // the counter step is silent
}

TEST_F(DownloadTest, SmallCountsTryOnlyOnce) {
    DownloadCount("");  // no download_cnt: 0
    Manager m;
    EXPECT_EQ(0, m.CurrentStatus().mDownloadCount);
    Add(m, 3);
    EXPECT_EQ("0\n", Attempts());  // the first report found the file empty
    DownloadCount("5");
    Fail(true);
    EXPECT_EQ(1, m.OnUpdateCDRDownloadSettings());  // raised: nothing at once
    EXPECT_EQ("0\n", Attempts());
    Add(m, 9);
    EXPECT_EQ("0\n5\n", Attempts());  // one attempt; then the file grows unbounded
    EXPECT_EQ(12u, Collected(m));
}

TEST_F(DownloadTest, ALoweredCountDownloadsAtOnceARaisedOneNever) {
    DownloadCount("100");
    Manager m;
    Add(m, 70);
    DownloadCount("80");
    m.OnUpdateCDRDownloadSettings();
    DownloadCount("200");
    m.OnUpdateCDRDownloadSettings();
    EXPECT_EQ("", Attempts());
    EXPECT_EQ(200, m.CurrentStatus().mDownloadCount);
    DownloadCount("50");
    EXPECT_EQ(1, m.OnUpdateCDRDownloadSettings());
    EXPECT_EQ("70\n", Attempts());
    EXPECT_EQ(50, m.CurrentStatus().mDownloadCount);
    EXPECT_EQ(0u, Collected(m));
    EXPECT_EQ("", ReadFile(Rooted(kStatFile)));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("  OnUpdateCDRDownloadSettings\n        .")) << log;
    EXPECT_EQ(1u, Count(log, "  OnDownloadNow\n"));
    EXPECT_EQ(1u, Count(log, "  Download: done!\n"));
}

TEST_F(DownloadTest, AToggledDownloadStartsACleanFile) {
    Settings("CDR_STATED_SAVE_INTERVAL=1\n");
    DownloadCount("100");
    Manager m;
    Add(m, 5);
    EXPECT_EQ(5u, Count(ReadFile(Rooted(kStatFile)), "{\n"));
    // Only "true" is on; a reading without the key keeps the state.
    WriteFile(mBase + "sysconfig/rc.conf", "OTHER=1\n");
    m.OnUpdateCDRDownloadSettings();
    EXPECT_TRUE(m.CurrentStatus().mDownload);
    Switch("TRUE");
    EXPECT_EQ(1, m.OnUpdateCDRDownloadSettings());
    EXPECT_FALSE(m.CurrentStatus().mDownload);
    EXPECT_NE(0, access(Rooted(kStatFile).c_str(), F_OK));
    Add(m, 2);  // recorded in the database alone
    EXPECT_EQ(7u, Stand(m, 0).mRecords);
    EXPECT_EQ(0u, Collected(m));
    // Every reading while off removes the file, open or not.
    WriteFile(Rooted(kStatFile), "{\ntype=1\n}\n");
    m.OnUpdateCDRDownloadSettings();
    EXPECT_NE(0, access(Rooted(kStatFile).c_str(), F_OK));
    Switch("true");
    m.OnUpdateCDRDownloadSettings();
    EXPECT_EQ(0u, Collected(m));
    Add(m, 1, 4);
    m.OnFlush(0);
    EXPECT_EQ(0u, ReadFile(Rooted(kStatFile)).find("{\ntype=4\n"));
}

TEST_F(DownloadTest, RecordingOffLeavesTheDatabaseAlone) {
    Settings("CDR_ENABLE=0\nCDR_MISSED_SAVE_INTERVAL=3\n");
    DownloadCount("100");
    Manager m;
    Add(m, 2, 2);
    EXPECT_NE(0, access(Rooted(kStatFile).c_str(), F_OK));  // the missed calls' interval decides
    Add(m, 1, 2);
    const std::string saved = ReadFile(Rooted(kStatFile));
    EXPECT_EQ(0u, saved.find("{\ntype=2\nID=2\nST=1000\n")) << saved;
    EXPECT_EQ(3u, Count(saved, "{\n"));
    EXPECT_EQ("", ReadFile(Db("missed_calls_db")));
    const RecorderStatus::Database missed = Stand(m, 1);
    EXPECT_EQ(0u, missed.mRecords);
    EXPECT_EQ(3u, missed.mNextId);
}

TEST_F(DownloadTest, DownloadNowDeliversOnlyWhileOn) {
    Switch("false");
    DownloadCount("100");
    {
        Manager m;
        EXPECT_EQ(100, m.CurrentStatus().mDownloadCount);  // as the file says, though off
        EXPECT_EQ(0, m.OnDownloadNow());
        EXPECT_EQ("", Attempts());  // no file: the collector is not called
        Switch("true");
        m.OnUpdateCDRDownloadSettings();
        Add(m, 3);
        EXPECT_EQ(1, m.OnDownloadNow());
        EXPECT_EQ("3\n", Attempts());
        Fail(true);
        Add(m, 1);
        EXPECT_EQ(0, m.OnDownloadNow());
        EXPECT_EQ(1u, Collected(m));  // kept for the next attempt
        // The status says why, until a download goes well.
        const std::vector<Problem> problems = m.CurrentStatus().mProblems;
        ASSERT_EQ(1u, problems.size());
        EXPECT_EQ(
            "statistics download: download_cmd ended with status 7: collector: no route: the "
            "collected records wait for the next download",
            problems[0].Describe());
        Fail(false);
        EXPECT_EQ(1, m.OnDownloadNow());
        EXPECT_TRUE(m.CurrentStatus().mProblems.empty());
    }
    const std::string log = Log();
    EXPECT_EQ(4u, Count(log, "  OnDownloadNow\n"));
    EXPECT_EQ(2u, Count(log, "  Download: failed!\n"));
    EXPECT_EQ(2u, Count(log, "  Download: done!\n"));
    EXPECT_EQ(std::string::npos, log.find("cann't"));

    // Only a file the system cannot read stops the reading.
    unlink(Rooted(kLog).c_str());
    unlink((mBase + "sysconfig/rc.conf").c_str());
    mkdir((mBase + "sysconfig/rc.conf").c_str(), 0755);
    Manager broken;
    EXPECT_NE(std::string::npos, Log().find("  Auto Download Settings cann't be read!\n"));
    EXPECT_NE(std::string::npos, Log().find("  InitAutoDownloadSettings: " + mBase +
                                            "sysconfig/rc.conf: cannot read: Is a directory.\n"))
        << Log();
}
