#include "tools/StatusReport.h"

#include <gtest/gtest.h>

// The text an operator reads, with every kind of trouble at once.
TEST(StatusReport, TextShowsEveryProblem) {
    setenv("TZ", "UTC", 1);
    tzset();
    RecorderStatus s;
    s.mDatabases[0] = {"stated", "/db/CDR_db", true, 612,        3,    0,
                       1000,     10,           5120, 1796542392, true, ""};
    s.mDatabases[1] = {"missed", "/db/missed", false, 0, 0, 0, 0, 0, 0, 0, true, ""};
    s.mDatabases[2] = {"failed", "/db/failed", true, 1, 1, 1, 5, 1, 9, 1796542392, false, "full"};
    s.mDownload = true;
    s.mCollected = 41;
    s.mDownloadCount = 500;
    s.mLastDownloadTime = 1796542392;
    s.mJournal = true;
    s.mJournalProblem = "fails its checksum";
    s.mProblems = {{"/c/general_settings.conf", 3, "CDR_STATED_MAX", "lots",
                    "not an unsigned decimal number; ignored"},
                   {"/db/CDR_db", 0, "", "cannot read: Is a directory", "moved aside"}};
    s.mProblemsLeftOut = 2;
    const std::string text = StatusReport::Text(s);
    EXPECT_EQ(
        "stated calls: /db/CDR_db\n"
        "  612 records, 3 not yet saved, 0 not durable; limit 1000, saved every 10, next ID 5120\n"
        "  last save: 2026-12-06 07:33:12 ok\n"
        "missed calls: /db/missed\n"
        "  not open: reports of this kind are refused\n"
        "failed calls: /db/failed\n"
        "  1 records, 1 not yet saved, 1 not durable; limit 5, saved every 1, next ID 9\n"
        "  last save: 2026-12-06 07:33:12 FAILED: full\n"
        "recording: off\n"
        "download: on, 41 collected, download_cnt 500, last download 2026-12-06 07:33:12 "
        "FAILED, 0 dropped at twice download_cnt\n"
        "journal: on, problem: fails its checksum\n"
        "problems:\n"
        "  /c/general_settings.conf:3: CDR_STATED_MAX=lots: not an unsigned decimal number; "
        "ignored\n"
        "  /db/CDR_db: cannot read: Is a directory: moved aside\n"
        "  and 2 more: see the trace log\n",
        text);
    EXPECT_FALSE(StatusReport::Healthy(s));
    EXPECT_EQ("missed calls database /db/missed: not open", StatusReport::Trouble(s.mDatabases[1]));
    s.mDatabases[1].mOpen = true;
    s.mDatabases[2].mLastSaveOk = true;
    EXPECT_FALSE(StatusReport::Healthy(s));  // a record the journal did not make durable
    s.mDatabases[2].mNotDurable = 0;
    // Anything listed is trouble, each on its own.
    s.mProblemsLeftOut = 0;
    EXPECT_FALSE(StatusReport::Healthy(s));
    s.mProblems.clear();
    EXPECT_FALSE(StatusReport::Healthy(s));
    s.mJournalProblem.clear();
    EXPECT_TRUE(StatusReport::Healthy(s));
    s.mProblemsLeftOut = 1;
    EXPECT_FALSE(StatusReport::Healthy(s));
}
