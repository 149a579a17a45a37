#include "cdr/CDRManager.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tests/support/ManagerFixture.h"

using namespace cdr_test;

TEST_F(CDRManagerTest, StartUpStoresTheDefaultNames) {
    Settings("CDR_STATED_MAX=50\nCDR_FAILED_SAVE_INTERVAL=3\n");
    Manager m;
    EXPECT_TRUE(m.IsCDRFilesExist());
    EXPECT_EQ(
        "CDR_STATED_DB=CDR_db\nCDR_MISSED_DB=missed_calls_db\nCDR_FAILED_DB=unsuccess_calls_db\n",
        ReadFile(mBase + "sysconfig/general_paths.conf"));
    const std::string log = Log();
    EXPECT_NE(std::string::npos,
              log.find("  GetCDRData:\n stated - " + Db("CDR_db") + "[50/10]\n missed - " +
                       Db("missed_calls_db") + "[1000/10]\n failed - " + Db("unsuccess_calls_db") +
                       "[1000/3]\n"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("was not been created"));
    EXPECT_EQ(std::string::npos, log.find("cann't"));
}

TEST_F(CDRManagerTest, DatabasePathsFollowTheirNames) {
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir(mDir.Path().c_str()));
    WriteFile(mBase + "sysconfig/general_paths.conf",
              "CDR_STATED_DB=calls\nCDR_MISSED_DB=" + mDir.Path() +
                  "/abs/missed\nCDR_FAILED_DB=sub\\\\failed\n");
    const std::string bare = mDir.Path() + "/x";
    const struct {
        const char* base;  // KELT_PATH; nullptr: unset
        std::string stated, missed, failed;
    } cases[] = {
        // A slash or a backslash anywhere: a path of its own.
        {mBase.c_str(), Db("calls"), mDir.Path() + "/abs/missed", "sub\\failed"},
        {bare.c_str(), bare + "telephony/CDR_db", "", ""},     // no final slash: a plain prefix
        {"", "telephony/CDR_db", "", ""},                      // empty: the working directory
        {nullptr, "/etc/kelt-conf/telephony/CDR_db", "", ""},  // unset: the device's own
    };
    for (const auto& c : cases) {
        if (c.base)
            setenv("KELT_PATH", c.base, 1);
        else
            unsetenv("KELT_PATH");
        Manager m;
        const RecorderStatus s = m.CurrentStatus();
        EXPECT_EQ(c.stated, s.mDatabases[0].mPath);
        if (!c.missed.empty()) {
            EXPECT_EQ(c.missed, s.mDatabases[1].mPath);
            EXPECT_EQ(c.failed, s.mDatabases[2].mPath);
        }
    }
    EXPECT_NE(std::string::npos, ReadFile(bare + "sysconfig/general_paths.conf").find("CDR_db"));
    ASSERT_EQ(0, chdir(cwd));
}

// A bad value costs only its key, which keeps its default at start-up and
// its value in force on update; the trace and the status say where.
TEST_F(CDRManagerTest, ABadSettingCostsOnlyItsKey) {
    Settings(
        "CDR_STATED_MAX=lots\nCDR_ENABLE=1 # on\nCDR_MISSED_MAX='7'\nCDR_FAILED_MAX=yes\n"
        "VOIP_PORT=5060\nCDR_STATE_MAX=5\n");
    const std::string file = mBase + "sysconfig/general_settings.conf";
    Manager m;
    RecorderStatus s = m.CurrentStatus();
    EXPECT_EQ(1000u, s.mDatabases[0].mLimit);
    EXPECT_EQ(7u, s.mDatabases[1].mLimit);
    EXPECT_EQ(1000u, s.mDatabases[2].mLimit);
    EXPECT_TRUE(s.mRecording);
    EXPECT_TRUE(m.IsCDRFilesExist());
    EXPECT_NE(std::string::npos,
              Log().find("  GetCDRData: " + file +
                         ":1: CDR_STATED_MAX=lots: not an unsigned decimal number; ignored.\n"))
        << Log();
    // Every one in the status, in the file's order.
    // Every one in the status; a misspelled key too, not the device's own.
    std::vector<std::string> listed;
    for (const Problem& p : s.mProblems) listed.push_back(p.Describe());
    EXPECT_EQ((std::vector<std::string>{
                  file + ":6: CDR_STATE_MAX=5: unknown key; ignored (meant CDR_STATED_MAX?)",
                  file + ":1: CDR_STATED_MAX=lots: not an unsigned decimal number; ignored",
                  file + ":4: CDR_FAILED_MAX=yes: not an unsigned decimal number; ignored"}),
              listed);

    Settings("CDR_STATED_MAX=50\n");
    m.OnUpdateCDRSettings();
    s = m.CurrentStatus();
    EXPECT_EQ(50u, s.mDatabases[0].mLimit);
    EXPECT_TRUE(s.mProblems.empty());
    Settings("CDR_STATED_MAX=5O\n");
    m.OnUpdateCDRSettings();
    EXPECT_EQ(50u, Stand(m, 0).mLimit);

    // A base without its final "/" finds no file, and the status says why.
    setenv("KELT_PATH", mDir.Path().c_str(), 1);
    m.OnUpdateCDRSettings();
    s = m.CurrentStatus();
    ASSERT_FALSE(s.mProblems.empty());
    EXPECT_EQ(mDir.Path() + "sysconfig/general_settings.conf: not found; the defaults are used " +
                  "(KELT_PATH=" + mDir.Path() + " lacks its final \"/\")",
              s.mProblems[0].Describe());
}

// Settings that cannot be read at all leave the paths empty: no database is
// opened on them, nothing is written in the working directory, and it shows.
// A later reading starts afresh from the files.
TEST_F(CDRManagerTest, UnreadableSettingsOpenNoDatabase) {
    const std::string settings = mBase + "sysconfig/general_settings.conf";
    const std::string paths = mBase + "sysconfig/general_paths.conf";
    unlink(settings.c_str());
    mkdir(settings.c_str(), 0755);
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    TempDir work;
    ASSERT_EQ(0, chdir(work.Path().c_str()));
    {
        Manager m;
        EXPECT_FALSE(m.IsCDRFilesExist());
        EXPECT_EQ(0, m.OnAddCDR(1, Call("x"), nullptr));
        EXPECT_EQ(1, m.OnFlush(7));
        // With no database open an update reads nothing.
        rmdir(settings.c_str());
        Settings("CDR_STATED_MAX=lots\n");
        EXPECT_EQ(0, m.OnUpdateCDRSettings());
        EXPECT_EQ(1u, Count(Log(), "  GetCDRData"));
        EXPECT_TRUE(m.CurrentStatus().mProblems.empty());
    }
    ASSERT_EQ(0, chdir(cwd));
    EXPECT_TRUE(work.List().empty());
    const std::string log = Log();
    EXPECT_NE(std::string::npos,
              log.find("GetCDRData: failed to load general settings accessor.\n"));
    EXPECT_NE(std::string::npos,
              log.find("  InitFiles: stated calls database: empty file path.\n"));
    EXPECT_EQ(1u, Count(log, "Call details log file(s) was not been created!\n"));

    // A reading that failed keeps nothing of what it read for the next one.
    Settings("");
    Manager noPaths;
    unlink(paths.c_str());
    mkdir(paths.c_str(), 0755);
    EXPECT_FALSE(noPaths.GetCDRData());
    EXPECT_NE(std::string::npos,
              Log().find("GetCDRData: failed to load general paths accessor.\n"));
    rmdir(paths.c_str());
    Settings("CDR_STATED_MAX=60\n");
    ASSERT_TRUE(noPaths.GetCDRData());
    EXPECT_NE(std::string::npos, Log().find("[60/10]"));

    // Nor are those of a reading that failed on writing the default names.
    mSystem.Fail(testing_support::TestSystem::kRename, EIO, 1);
    unlink(paths.c_str());
    EXPECT_FALSE(noPaths.GetCDRData());
    EXPECT_NE(std::string::npos, Log().find("GetCDRData: failed to load, reason - "));
    Settings("CDR_STATED_MAX=70\n");
    WriteFile(paths, "CDR_STATED_DB=fresh\n");
    ASSERT_TRUE(noPaths.GetCDRData());
    EXPECT_NE(std::string::npos, Log().find("stated - " + Db("fresh") + "[70/10]"));
}

TEST_F(CDRManagerTest, NextIdComesFromTheNewestRecordOrARenumbering) {
    WriteFile(Db("CDR_db"), "{\nID=41\n}\n{\nID=7\n}\n");
    WriteFile(Db("missed_calls_db"), "{\ncaller=a\n}\n{\n}\n{\n}\n{\n}\n{\ncaller=e\n}\n");
    WriteFile(Db("unsuccess_calls_db"), "{\nID=4294967296\n}\n");
    Manager m;
    const RecorderStatus s = m.CurrentStatus();
    EXPECT_EQ(42u, s.mDatabases[0].mNextId);
    EXPECT_EQ(5u, s.mDatabases[1].mNextId);
    EXPECT_EQ(0u, s.mDatabases[2].mNextId);  // 2^32 reads as 2^32 - 1 on every host
    EXPECT_EQ("{\ncaller=a\nID=4\n}\n{\nID=3\n}\n{\nID=2\n}\n{\nID=1\n}\n{\ncaller=e\nID=0\n}\n",
              ReadFile(Db("missed_calls_db")));
    EXPECT_EQ(1, m.OnAddCDR(1, Call("x"), nullptr));
    m.OnFlush(1);
    EXPECT_EQ(0u, ReadFile(Db("CDR_db")).find("{\nID=42\n"));
}

// Text that is not in the grammar costs no record; a file the system cannot
// read is moved aside, once per process, and the other databases keep theirs.
TEST_F(CDRManagerTest, DatabasesKeepTheirRecordsWhateverHappensToOne) {
    const std::string hand = "{\nID=5\ncaller=DOMAIN\\alice\nstray words\n}\n{\nID=4\n";
    WriteFile(Db("CDR_db"), hand);
    mkdir(Db("missed_calls_db").c_str(), 0755);
    WriteFile(Db("missed_calls_db") + "/inside", "kept");
    WriteFile(Db("unsuccess_calls_db"), "{\nID=3\n}\n");
    Manager m;
    EXPECT_TRUE(m.IsCDRFilesExist());
    const RecorderStatus s = m.CurrentStatus();
    EXPECT_EQ(2u, s.mDatabases[0].mRecords);
    EXPECT_EQ(6u, s.mDatabases[0].mNextId);
    EXPECT_EQ(0u, s.mDatabases[1].mRecords);
    EXPECT_EQ(4u, s.mDatabases[2].mNextId);
    EXPECT_EQ(hand, ReadFile(Db("CDR_db") + ".damaged"));  // kept as it was read
    EXPECT_EQ("kept", ReadFile(Db("missed_calls_db") + ".damaged/inside"));
    EXPECT_EQ(1, m.OnAddCDR(1, Call("y"), nullptr));
    EXPECT_EQ(0, m.OnAddCDR(3, Call("z"), nullptr));
    EXPECT_EQ(0, m.OnAddCDR(3, Call("z"), nullptr));
    // The status lists what was kept and moved aside, and what was refused.
    std::vector<std::string> listed;
    for (const Problem& p : m.CurrentStatus().mProblems) listed.push_back(p.Describe());
    ASSERT_EQ(3u, listed.size());
    EXPECT_EQ(Db("missed_calls_db") + ": cannot read: Is a directory: moved aside to " +
                  Db("missed_calls_db") + ".damaged at ",
              listed[0].substr(0, listed[0].size() - 19));
    EXPECT_EQ(Db("CDR_db") + ": text that is no record: left out; the file as read is kept in " +
                  Db("CDR_db") + ".damaged at ",
              listed[1].substr(0, listed[1].size() - 19));
    EXPECT_EQ("reports: 2 of the unknown kind 3: refused", listed[2]);
    const std::string log = Log();
    EXPECT_NE(std::string::npos,
              log.find("  InitFiles: " + Db("CDR_db") + ":4: stray line; skipped; " + Db("CDR_db") +
                       ":6: last section cut short; kept with its entries.\n"))
        << log;
    EXPECT_NE(std::string::npos,
              log.find("  InitFiles: missed calls database: " + Db("missed_calls_db") +
                       ": cannot read: Is a directory.\n"));
    EXPECT_NE(std::string::npos,
              log.find("  InitFiles: " + Db("missed_calls_db") + " moved aside to " +
                       Db("missed_calls_db") + ".damaged.\n"));

    // The remedy is used once in the recorder's life: a second failure moves nothing.
    mkdir(Db("other").c_str(), 0755);
    EXPECT_FALSE(m.InitFiles(Db("other").c_str(), Db("missed_calls_db").c_str(), nullptr));
    EXPECT_EQ(0, access(Db("other").c_str(), F_OK));
    EXPECT_FALSE(m.IsCDRFilesExist());
    EXPECT_EQ(0, m.OnAddCDR(2, Call("y"), nullptr));  // a closed database refuses reports
}

TEST_F(CDRManagerTest, LimitsHoldFromStartUpOn) {
    std::string big, small, kept;
    for (int id = 129; id >= 0; --id) big += "{\nID=" + std::to_string(id) + "\n}\n";
    for (int id = 79; id >= 0; --id) small += "{\nID=" + std::to_string(id) + "\n}\n";
    for (int id = 129; id >= 30; --id) kept += "{\nID=" + std::to_string(id) + "\n}\n";
    WriteFile(Db("CDR_db"), big);
    WriteFile(Db("missed_calls_db"), small);
    Settings(
        "CDR_STATED_MAX=100\nCDR_MISSED_MAX=100\nCDR_FAILED_MAX=3\nCDR_FAILED_SAVE_INTERVAL=1\n");
    Manager m;
    EXPECT_EQ(kept, ReadFile(Db("CDR_db")));            // the 100 newest, saved
    EXPECT_EQ(small, ReadFile(Db("missed_calls_db")));  // under the limit: untouched
    for (int i = 0; i < 5; ++i) m.OnAddCDR(4, Call("z"), nullptr);
    EXPECT_EQ(3u, Count(ReadFile(Db("unsuccess_calls_db")), "{\n"));
    // A limit of 0 keeps the one in force.
    m.InitSizes(0, 0, 0, 0, 0, 0);
    const RecorderStatus s = m.CurrentStatus();
    EXPECT_EQ(100u, s.mDatabases[0].mLimit);
    EXPECT_EQ(3u, s.mDatabases[2].mLimit);
    EXPECT_EQ(1u, s.mDatabases[2].mInterval);
}

TEST_F(CDRManagerTest, EveryRowOfTheRecordTableWithItsConditions) {
    Settings("CDR_STATED_SAVE_INTERVAL=1\nCDR_MISSED_SAVE_INTERVAL=1\n");
    Manager m;
    CallDetailReport r = Call("Alice \"A\" {x}=#\\", -5);
    r.mDuration = 4294967295u;
    r.mCalled = "201";
    r.mGuid = "g-1";
    r.mOcd = "ocd";
    r.mCr = "cr1";
    r.mAuthUserName = "alice";
    r.mClirCaller = 7;
    CallStatistics s;
    MediaStreamStatistics& a = s.mStream1;
    a.mPacketsSent = 4294967295u;
    a.mSendCodec = 18;
    a.mSendPacketSize = 65535;
    a.mPacketsReceived = 1;
    a.mReceiveCodec = 99;
    a.mReceivePacketSize = 160;
    a.mPacketsLost = 65535;
    a.mJitter = 4294967295u;
    a.mMaxDelay = 20;
    a.mDelayIncrease = 0xFFFF;
    a.mDelayDecrease = 0xFFFE;
    a.mLocalPort = 10000;  // a port without its address
    a.mRemoteAddress = 0x0A000001u;
    a.mRemotePort = 65535;
    MediaStreamStatistics& b = s.mStream2;  // sent only: no receive group, no addresses
    b.mPacketsSent = 5;
    b.mLocalAddress = 0x01020304u;
    s.mFax.mPacketsSent = 3;  // fax with only sent packets: the whole fax group
    ASSERT_EQ(1, m.OnAddCDR(1, r, &s));
    EXPECT_EQ(
        "{\nID=0\nST=-5\ndur=4294967295\ncalled=201\ncaller=Alice \"A\" {x}=#\\\\\nGUID=g-1\n"
        "OCD=ocd\ncr=cr1\nauth_un=alice\nclir_caller=1\n"
        "tx_pkt=4294967295\ntx_enc=G729\ntx_pkt_sz=65535\n"
        "rx_pkt=1\nrx_enc=unknown\nrx_pkt_sz=160\nrx_lost=65535\nrx_jtr=4294967295\n"
        "rx_max_del=20\nrx_delay_incr=N/A\nrx_delay_decr=65534\n"
        "loc_port=10000\nrem_addr=10.0.0.1\nrem_port=65535\n"
        "tx_pkt_2=5\ntx_enc_2=PCMU\n"
        "fax_rx_pkt=0\nfax_rx_dpl_pkt=0\nfax_rx_lost=0\nfax_rx_bad_pkt=0\nfax_tx_pkt=3\n"
        "fax_tx_dpl_pkt=0\nfax_anamnesis=\n}\n",
        ReadFile(Db("CDR_db")));

    // No statistics, empty texts, zero counts: only the rows that are always written.
    ASSERT_EQ(1, m.OnAddCDR(2, CallDetailReport(), nullptr));
    CallStatistics zero;
    ASSERT_EQ(1, m.OnAddCDR(2, Call("b"), &zero));
    EXPECT_EQ(
        "{\nID=1\nST=1000\ndur=0\ncalled=\ncaller=b\n}\n{\nID=0\nST=0\ndur=0\ncalled=\ncaller=\n}"
        "\n",
        ReadFile(Db("missed_calls_db")));
    // A kind that is not one of the three is refused, and no ID is used.
    EXPECT_EQ(0, m.OnAddCDR(3, Call("c"), nullptr));
    EXPECT_EQ(0, m.OnAddCDR(0, Call("c"), nullptr));
    EXPECT_EQ(2u, Stand(m, 1).mNextId);
    EXPECT_EQ(5u, Count(Log(), "  OnAddCDR\n"));
}

TEST_F(CDRManagerTest, TheFileChangesOnlyAtTheSaveInterval) {
    Settings("CDR_STATED_SAVE_INTERVAL=3\n");
    {
        Manager m;
        for (int i = 1; i <= 7; ++i) {
            m.OnAddCDR(1, Call("x"), nullptr);
            const int saved = (i / 3) * 3;  // records on storage
            ASSERT_EQ(static_cast<size_t>(saved), Count(ReadFile(Db("CDR_db")), "{\n")) << i;
        }
        // A save that fails: 0, traced once.
        mSystem.Fail(testing_support::TestSystem::kRename, EIO, 1);
        m.OnAddCDR(1, Call("x"), nullptr);
        EXPECT_EQ(0, m.OnAddCDR(1, Call("x"), nullptr));
        EXPECT_EQ(1u, Count(Log(), "OnAddCDR: ")) << Log();
        // Recording off: nothing is stored and no counter moves.
        Settings("CDR_STATED_SAVE_INTERVAL=3\nCDR_ENABLE=0\n");
        m.OnUpdateCDRSettings();
        EXPECT_EQ(1, m.OnAddCDR(1, Call("off"), nullptr));
        EXPECT_EQ(9u, Stand(m, 0).mNextId);
    }  // the destructor saves nothing
    EXPECT_EQ(6u, Count(ReadFile(Db("CDR_db")), "{\n"));
}

TEST_F(CDRManagerTest, CommandsFollowTheirMask) {
    Settings("CDR_STATED_SAVE_INTERVAL=100\nCDR_MISSED_SAVE_INTERVAL=2\n");
    Manager m;
    for (int kind : {1, 2, 4, 1}) m.OnAddCDR(kind, Call("x"), nullptr);
    EXPECT_EQ(1, m.OnFlush(1 | 4 | 64));
    EXPECT_EQ(2u, Count(ReadFile(Db("CDR_db")), "{\n"));
    EXPECT_EQ("", ReadFile(Db("missed_calls_db")));  // not selected: not written
    EXPECT_EQ(0u, Stand(m, 0).mUnsaved);
    EXPECT_EQ(1u, Stand(m, 1).mUnsaved);
    // Nothing unsaved: nothing written, even when selected.
    unlink(Db("CDR_db").c_str());
    EXPECT_EQ(1, m.OnFlush(1));
    EXPECT_NE(0, access(Db("CDR_db").c_str(), F_OK));

    EXPECT_EQ(1, m.OnClear(0));  // no database touched
    EXPECT_EQ(2u, Stand(m, 0).mRecords);
    EXPECT_EQ(1, m.OnClear(1));
    EXPECT_EQ(0u, Stand(m, 0).mRecords);
    EXPECT_EQ("", ReadFile(Db("CDR_db")));
    EXPECT_EQ(1u, Stand(m, 1).mRecords);
    EXPECT_EQ(1, m.OnClear(7));
    EXPECT_EQ("", ReadFile(Db("unsuccess_calls_db")));
    // A clear keeps the count towards the next save, and the ID sequence.
    m.OnAddCDR(2, Call("after"), nullptr);
    EXPECT_EQ(0u, ReadFile(Db("missed_calls_db")).find("{\nID=1\n"));
    const std::string log = Log();
    EXPECT_EQ(3u, Count(log, "  OnClear\n"));
    EXPECT_EQ(2u, Count(log, "  OnFlush\n"));
}

TEST_F(CDRManagerTest, AClearThatCannotSaveStartsTheDatabaseAfresh) {
    Manager m;
    m.OnAddCDR(2, Call("x"), nullptr);
    m.OnFlush(2);
    // A clear that cannot be kept in the IDs file is not done at all.
    mSystem.Fail(testing_support::TestSystem::kRename, EIO, 1);
    EXPECT_EQ(0, m.OnClear(2));
    EXPECT_EQ(1u, Stand(m, 1).mRecords);
    EXPECT_FALSE(Stand(m, 1).mLastSaveOk);
    EXPECT_NE(std::string::npos, Stand(m, 1).mLastSaveError.find("missed_calls_db.ids"));
    // Kept, but the save fails: the database starts afresh.
    mSystem.Fail(testing_support::TestSystem::kRename, EIO, 1, 1);
    EXPECT_EQ(1, m.OnClear(2));
    EXPECT_EQ(0u, Stand(m, 1).mRecords);
    EXPECT_NE(0, access(Db("missed_calls_db").c_str(), F_OK));  // deleted, reopened empty

    // When even the reopening fails, the database is closed and refuses reports.
    m.OnAddCDR(4, Call("y"), nullptr);
    ASSERT_EQ(0, mkdir((Db("unsuccess_calls_db") + ".tmp").c_str(), 0755));
    ASSERT_EQ(0, mkdir(Db("unsuccess_calls_db").c_str(), 0755));
    EXPECT_EQ(0, m.OnClear(4));
    EXPECT_FALSE(m.IsCDRFilesExist());
    EXPECT_FALSE(Stand(m, 2).mOpen);
    EXPECT_EQ(0, m.OnAddCDR(4, Call("z"), nullptr));
    EXPECT_EQ(1, m.OnFlush(4));  // skipped
    EXPECT_EQ(0, m.OnUpdateCDRSettings());
    EXPECT_NE(std::string::npos, Log().find("OnUpdateCDRSettings: CDR files are not created.\n"));
}

TEST_F(CDRManagerTest, SettingsUpdateAppliesNewSizesButKeepsTheOpenFiles) {
    Manager m;
    for (int i = 0; i < 5; ++i) m.OnAddCDR(1, Call("x"), nullptr);
    Settings("CDR_STATED_MAX=2\nCDR_STATED_SAVE_INTERVAL=4\n");
    WriteFile(mBase + "sysconfig/general_paths.conf", "CDR_STATED_DB=elsewhere\n");
    EXPECT_EQ(1, m.OnUpdateCDRSettings());
    EXPECT_EQ(2u, Count(ReadFile(Db("CDR_db")), "{\n"));  // trimmed and saved to the open file
    const RecorderStatus::Database s = Stand(m, 0);
    EXPECT_EQ(2u, s.mRecords);
    EXPECT_EQ(4u, s.mInterval);
    EXPECT_EQ(Db("CDR_db"), s.mPath);
    EXPECT_NE(std::string::npos, Log().find("stated - " + Db("elsewhere") + "[2/4]"));
    m.OnCDRPartyStateChanged(true);
    m.OnCgiPartyStateChanged(false);
    EXPECT_NE(std::string::npos, Log().find("  OnCDRPartyStateChanged: CDR is connected.\n"));
    EXPECT_NE(std::string::npos,
              Log().find("  OnCgiPartyStateChanged: CGI messenger is disconnected.\n"));
}

// Nothing at a database's or a journal's path holds the start-up: a FIFO
// there is moved aside like any file that cannot be read, and so is a
// journal damaged before its end.
TEST_F(CDRManagerTest, AFifoOrADamagedJournalIsMovedAsideNotWaitedFor) {
    alarm(20);  // a start that waits in open ends the test
    Settings("CDR_JOURNAL=1\n");
    ASSERT_EQ(0, mkfifo(Db("CDR_db").c_str(), 0600));
    ASSERT_EQ(0, mkfifo((Db("missed_calls_db") + ".journal").c_str(), 0600));
    WriteFile(Db("unsuccess_calls_db") + ".journal", std::string(9, '\x7f'));
    Manager m;
    EXPECT_TRUE(m.IsCDRFilesExist());
    EXPECT_NE(std::string::npos, m.CurrentStatus().mJournalProblem.find("impossible length"));
    EXPECT_EQ(std::string(9, '\x7f'), ReadFile(Db("unsuccess_calls_db") + ".journal.damaged"));
    struct stat st;
    for (const std::string& aside : {Db("CDR_db.damaged"), Db("missed_calls_db.journal.damaged")})
        EXPECT_TRUE(lstat(aside.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << aside;
    EXPECT_EQ(1, m.OnAddCDR(2, Call("x"), nullptr));
    EXPECT_EQ(0u, Stand(m, 1).mNotDurable);  // journaled again
    alarm(0);
}

// An exception that nothing catches, from the start-up or the teardown,
// reaches the caller (main turns it into the abort report), and a start-up
// that throws leaves nothing of the manager open.
TEST_F(CDRManagerTest, ExceptionsReachTheCallerWithoutALeak) {
    struct ThrowingTeardown : Manager {
        ~ThrowingTeardown() noexcept(false) override { throw std::runtime_error("teardown"); }
    };
    EXPECT_THROW({ ThrowingTeardown m; }, std::runtime_error);
    const int open = mSystem.OpenFiles();
    mSystem.ThrowOnOpen("general_paths.conf");  // read in Init, after the log opened
    EXPECT_THROW(Manager m, testing_support::TestSystem::Thrown);
    EXPECT_EQ(open, mSystem.OpenFiles());
}
