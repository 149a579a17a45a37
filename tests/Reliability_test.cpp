// What cdrd keeps when things go wrong around it: kills at random moments, a
// torn journal, a full file system, a trace
// log that would grow without end, and callers without access.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <map>
#include <random>

#include "platform/config/MultiSectionFile.h"
#include "platform/config/RecordFile.h"
#include "tests/support/DaemonFixture.h"

using namespace testing_support;

namespace {

const char* const kDatabases[3] = {"CDR_db", "missed_calls_db", "unsuccess_calls_db"};
const char kStat[] = "/mnt/bbram/calldata/down_stat.log";

// The IDs of a record file, newest first; throws when it does not parse.
std::vector<long> Ids(const std::string& path) {
    Configuration::RecordFile file(path.c_str());
    std::vector<long> ids;
    char id[256];
    for (file.Restart(); file.GotoNextSection();)
        ids.push_back(file.GetSectionEntry("ID", id, sizeof id) ? std::atol(id) : -1);
    return ids;
}

// True when IDS run down by one from the newest to 0: nothing missing.
bool Complete(const std::vector<long>& ids) {
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] != static_cast<long>(ids.size() - 1 - i))
            return false;
    }
    return true;
}

class ReliabilityTest : public DaemonTest {
protected:
    void Sizes(int max, int interval) {
        std::string text;
        for (const char* kind : {"STATED", "MISSED", "FAILED"}) {
            text += std::string("CDR_") + kind + "_MAX=" + std::to_string(max) + "\n";
            text +=
                std::string("CDR_") + kind + "_SAVE_INTERVAL=" + std::to_string(interval) + "\n";
        }
        WriteFile(mBase + "sysconfig/general_settings.conf", text);
    }
    // Download on, so the statistics file is written too, but never due.
    void Collect() {
        WriteFile(mBase + "sysconfig/rc.conf", "START_AUTO_DOWNLOAD_STAT=true\n");
        WriteFile(mBase + "auto-down-stat.conf", "download_cnt=2000000000\n");
    }
};

}  // namespace

// Killed at random moments under load: 100 rounds without the journal (save
// interval 3), where nothing saved may be lost, then 100 with it (interval
// 100), where nothing may be lost that the status had counted. After each
// restart the IDs of every database, and of each kind in the statistics
// file, run without a gap or a repeat.
TEST_F(ReliabilityTest, KilledAtRandomMomentsLosesNothingThatWasSavedOrJournaled) {
    Collect();
    unlink(kStat);
    std::mt19937 random(20261205);
    long newest[3] = {-1, -1, -1};
    long reported[3] = {-1, -1, -1};  // the status's next IDs before the kill
#ifdef CDR_EMULATOR
    const int kRounds = 100;  // each start costs a second under the emulator
#else
    const int kRounds = 200;
#endif
    for (int round = 0; round <= kRounds; ++round) {
        const bool journal = round > kRounds / 2;  // the state the round finds was made so
        unlink(kLog);
        Start();
        for (int i = 0; i < 3; ++i) {
            std::vector<long> ids;
            ASSERT_NO_THROW(ids = Ids(mBase + "telephony/" + kDatabases[i])) << "round " << round;
            ASSERT_TRUE(std::adjacent_find(ids.begin(), ids.end(), std::less_equal<long>()) ==
                        ids.end())
                << kDatabases[i] << " in round " << round;
            const long now = ids.empty() ? -1 : ids.front();
            ASSERT_GE(now, journal ? reported[i] - 1 : newest[i])
                << kDatabases[i] << " lost records in round " << round;
            newest[i] = now;
        }
        if (journal) {
            std::map<long, std::vector<long>> kinds;  // type: IDs, newest first
            Configuration::RecordFile stat(kStat, "section");
            char type[32], id[32];
            for (stat.Restart(); stat.GotoNextSection();) {
                stat.GetSectionEntry("type", type, sizeof type);
                stat.GetSectionEntry("ID", id, sizeof id);
                kinds[std::atol(type)].push_back(std::atol(id));
            }
            const long kind[3] = {1, 2, 4};
            for (int i = 0; i < 3; ++i) {
                const std::vector<long>& ids = kinds[kind[i]];
                for (size_t k = 1; k < ids.size(); ++k)
                    ASSERT_EQ(ids[k - 1] - 1, ids[k]) << "statistics of kind " << kind[i];
                ASSERT_GE(ids.empty() ? -1 : ids.front(), reported[i] - 1)
                    << "statistics of kind " << kind[i] << " lost records in round " << round;
            }
        }
        if (round == kRounds)
            break;
        const bool journalNext = round >= kRounds / 2;
        if (journalNext != journal) {  // the half with the journal starts a collection of its own
            Stop(SIGTERM);
            unlink(kStat);
            unlink((std::string(kStat) + ".journal").c_str());
            Sizes(1000000, 100);
            WriteFile(mBase + "sysconfig/general_settings.conf",
                      ReadFile(mBase + "sysconfig/general_settings.conf") + "CDR_JOURNAL=1\n");
            Start();
        } else if (round == 0) {
            Stop(SIGTERM);
            Sizes(1000000, 3);
            Start();
        }
        Process sender(CDRSEND, {"--random", "1000000", "--seed", std::to_string(round)},
                       mDir.File("sender.out"));
        // A random moment once records flow (the emulator takes long to start them).
        const size_t flowing = 1 + random() % 30;
        ASSERT_TRUE(WaitFor([&] { return Count(ReadFile(kLog), "  OnAddCDR\n") >= flowing; }));
        if (journalNext) {
            ASSERT_EQ(0, Run(CDRCTL, {"status", "--json"}));
            const std::string status = Output();
            size_t at = 0;
            for (long& next : reported) {
                at = status.find("\"next_id\":", at);
                ASSERT_NE(std::string::npos, at) << status;
                next = std::atol(status.c_str() + (at += 10));
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        EXPECT_EQ(128 + SIGKILL, Stop(SIGKILL));
        sender.Wait();
    }
    // The kills came while records were being saved, not before the first.
    EXPECT_GT(newest[0] + newest[1] + newest[2], kRounds);
}

// A power cut in the middle of an append costs that record alone; a journal
// damaged in any other way is moved aside, and the daemon goes on.
TEST_F(ReliabilityTest, ATornOrDamagedJournalCostsOnlyWhatCannotBeRead) {
    WriteFile(mBase + "sysconfig/general_settings.conf",
              "CDR_STATED_SAVE_INTERVAL=100\nCDR_JOURNAL=1\n");
    const std::string db = mBase + "telephony/CDR_db", journal = db + ".journal";
    size_t kept = 0;
    for (const bool torn : {true, false}) {
        Start();
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(0, Run(CDRSEND, {"--caller", "c" + std::to_string(i)}));
        ASSERT_TRUE(WaitFor([&] {
            Run(CDRCTL, {"status", "--json"});
            return Output().find("\"records\":" + std::to_string(kept + 5)) != std::string::npos;
        }));
        Stop(SIGKILL);
        std::string text = ReadFile(journal);
        ASSERT_FALSE(text.empty());
        if (torn)
            text.resize(text.size() - 5);
        else
            text[12] ^= 1;  // in the first record
        WriteFile(journal, text);
        unlink(kLog);
        Start();
        kept += torn ? 4 : 0;
        EXPECT_EQ(kept, Count(Db("CDR_db"), "{\n")) << (torn ? "torn" : "damaged");
        EXPECT_EQ(0, Run(CDRCTL, {"status", "--json"}));
        if (torn) {
            EXPECT_NE(std::string::npos, ReadFile(kLog).find("ends in a record cut short"));
            EXPECT_NE(std::string::npos,
                      Output().find("\"journal\":{\"on\":true,\"problem\":null}"));
        } else {
            EXPECT_NE(std::string::npos, ReadFile(journal + ".damaged").find("caller=c0"));
            EXPECT_NE(std::string::npos, Output().find("fails its checksum")) << Output();
        }
        Stop(SIGTERM);
    }
}

TEST_F(ReliabilityTest, AFullFileSystemFailsSavesButLosesNothing) {
    const std::string telephony = mBase + "telephony";
    mkdir(telephony.c_str(), 0755);
    ASSERT_EQ(0, mount("tmpfs", telephony.c_str(), "tmpfs", 0, "size=64k,mode=0755"));
    Sizes(1000000, 1);
    Start();
    // About 200 KB of records for 64 KB of room.
    ASSERT_EQ(0, Run(CDRSEND, {"--random", "300", "--seed", "5"}));
    Handled(300);
    // Still answering, and saying what failed, where the operator looks.
    EXPECT_EQ(3, Run(CDRCTL, {"flush", "7"}));
    EXPECT_NE(std::string::npos, Output().find("stated calls database " + telephony +
                                               "/CDR_db: last save failed: " + telephony +
                                               "/CDR_db: write failed: No space left on device"))
        << Output();
    EXPECT_EQ(std::string::npos, Output().find("flushed"));
    EXPECT_EQ(3, Run(CDRCTL, {"status", "--json"}));
    const std::string status = Output();
    EXPECT_NE(std::string::npos, status.find("\"ok\":false,\"error\":\"" + telephony)) << status;
    EXPECT_EQ(0, Run(CDRCTL, {"clear", "0"}));
    for (const char* name : {"CDR_db.tmp", "missed_calls_db.tmp", "unsuccess_calls_db.tmp"})
        EXPECT_NE(0, access((telephony + "/" + name).c_str(), F_OK)) << name;
    size_t onStorage = 0;
    for (const char* name : kDatabases) {
        std::vector<long> ids;
        ASSERT_NO_THROW(ids = Ids(telephony + "/" + name));  // the last save that fitted
        EXPECT_TRUE(Complete(ids));
        onStorage += ids.size();
    }
    EXPECT_LT(onStorage, 300u);
    // The status counts exactly the records that did not reach storage.
    size_t unsaved = 0;
    for (size_t at = status.find("\"unsaved\":"); at != std::string::npos;
         at = status.find("\"unsaved\":", at + 1))
        unsaved += std::strtoul(status.c_str() + at + 10, nullptr, 10);
    EXPECT_EQ(300u, onStorage + unsaved);

    // Room again: the next save of each database writes all it holds.
    ASSERT_EQ(0, mount("tmpfs", telephony.c_str(), "tmpfs", MS_REMOUNT, "size=16m,mode=0755"));
    ASSERT_EQ(0, Run(CDRSEND, {"--random", "3", "--seed", "6"}));
    Handled(303);
    EXPECT_EQ(0, Run(CDRCTL, {"flush", "0"}));  // the three reports are handled
    size_t total = 0;
    for (const char* name : kDatabases) {
        const std::vector<long> ids = Ids(telephony + "/" + name);
        EXPECT_TRUE(Complete(ids)) << name;
        total += ids.size();
    }
    EXPECT_EQ(303u, total);
    EXPECT_EQ(0, Run(CDRCTL, {"status"}));
    Stop(SIGKILL);
    umount(telephony.c_str());
}

// The trace log lives in RAM on the device: 100,000 reports leave each file
// within the default limit of 256 KiB, whole lines only, and the stop report
// still follows in the room kept for it.
TEST_F(ReliabilityTest, TheTraceLogStaysWithinItsLimit) {
    Sizes(1000, 1000000);
    Start();
    ASSERT_EQ(0, Run(CDRSEND, {"--random", "100000", "--seed", "4"}));
    ASSERT_EQ(0, Run(CDRCTL, {"flush", "0"}));
    EXPECT_EQ(128 + SIGTERM, Stop(SIGTERM));
    const std::string current = ReadFile(kLog), older = ReadFile(std::string(kLog) + ".1");
    ASSERT_FALSE(older.empty());
    for (const std::string* text : {&current, &older}) {
        EXPECT_LE(text->size(), 256u * 1024);
        EXPECT_EQ('\n', text->back());
    }
    EXPECT_GT(older.size(), 250u * 1024 - 4096);        // rotated once full, not before
    EXPECT_EQ(0u, older.find_first_of("0123456789 "));  // begins with a stamped line
    EXPECT_NE(std::string::npos, current.find("has been stopped by signal SIGTERM(15)"));
    EXPECT_EQ(std::string::npos, ReadFile(std::string(kLog) + ".2").find('\n'));
}

TEST_F(ReliabilityTest, OnlyTheDaemonsGroupCanConnect) {
    chmod(mDir.Path().c_str(), 0755);  // only the queue directory stands in the way
    const std::string queues = mDir.File("msgq");
    mkdir(queues.c_str(), 0700);
    chmod(queues.c_str(), 0770);
    WriteFile(mBase + "sysconfig/general_settings.conf", "");
    Start();
    struct stat st;
    for (const char* q : {"/q15", "/q111"}) {
        ASSERT_EQ(0, stat((queues + q).c_str(), &st));
        EXPECT_EQ(0660u, st.st_mode & 07777) << q;
    }
    ASSERT_EQ(0, stat(queues.c_str(), &st));
    EXPECT_EQ(0770u, st.st_mode & 07777);

    auto as = [&](const std::string& groups, const std::string& command,
                  const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"setpriv", "--reuid=65534", "--regid=65534", groups};
        for (const std::string& a : Command(command, args)) argv.push_back(a);
        Process p(argv, mDir.File("out"));
        return p.Wait();
    };
    // Outside the group: neither queue can be reached.
    EXPECT_EQ(1, as("--clear-groups", CDRCTL, {"flush", "7"})) << Output();
    EXPECT_NE(std::string::npos, Output().find("Permission denied")) << Output();
    EXPECT_EQ(1, as("--clear-groups", CDRSEND, {"--caller", "intruder"})) << Output();
    EXPECT_NE(std::string::npos, Output().find("Permission denied")) << Output();
    // In the daemon's group: both can.
    const std::string group = "--groups=" + std::to_string(st.st_gid);
    EXPECT_EQ(0, as(group, CDRCTL, {"flush", "7"})) << Output();
    EXPECT_EQ(0, as(group, CDRSEND, {"--caller", "member"})) << Output();
    ASSERT_TRUE(WaitFor([&] {
        Run(CDRCTL, {"flush", "1"});
        return Db("CDR_db").find("caller=member\n") != std::string::npos;
    }));
    EXPECT_EQ(std::string::npos, Db("CDR_db").find("intruder"));
}
