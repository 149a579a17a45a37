// cdrd as a process, driven by cdrsend and cdrctl, in a private mount
// namespace so that its fixed paths (/tmp/logs, /mnt/bbram) are its own.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/msg/CyclicMessageQueue.h"
#include "platform/msg/MessageQueueClient.h"
#include "tests/support/DaemonFixture.h"

using namespace testing_support;

TEST_F(DaemonTest, RecordsUntilItsStopReport) {
    WriteFile(
        mBase + "sysconfig/general_settings.conf",
        "CDR_STATED_SAVE_INTERVAL=2\nCDR_MISSED_SAVE_INTERVAL=1\nCDR_FAILED_SAVE_INTERVAL=10\n");
    const mode_t before = umask(022);  // a start by hand: the records stay private
    Start();
    umask(before);
    for (const char* caller : {"one", "two", "three"})
        ASSERT_EQ(0, Run(CDRSEND, {"--caller", caller, "--start", "100"}));
    ASSERT_EQ(0, Run(CDRSEND, {"--kind", "missed", "--caller", "Bob", "--stat", "rx_pkt=5",
                               "--stat", "rem_addr=10.0.0.1"}));
    ASSERT_EQ(0, Run(CDRSEND, {"--kind", "4", "--caller", "=1+2,\"x\"\n{}#\\"}));
    Handled(5);
    // Saved at the interval: two stated records, the missed one; the failed one waits.
    ASSERT_TRUE(
        WaitFor([&] { return Count(Db("CDR_db"), "{\n") == 2 && !Db("missed_calls_db").empty(); }));
    EXPECT_NE(std::string::npos, Db("missed_calls_db").find("rx_pkt=5\nrx_enc=PCMU\n"));
    EXPECT_EQ("", Db("unsuccess_calls_db"));

    EXPECT_EQ(0, Run(CDRCTL, {"flush", "0x4"}));
    EXPECT_EQ("cdrctl: flushed, mask 4\n", Output());
    EXPECT_NE(std::string::npos, Db("unsuccess_calls_db").find("caller==1+2,\"x\"\\n{}#\\\\\n"));
    struct stat st;
    ASSERT_EQ(0, stat((mBase + "telephony/unsuccess_calls_db").c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 0777);
    EXPECT_EQ(0, Run(CDRCTL, {"export", mBase + "telephony/unsuccess_calls_db"}));
    EXPECT_NE(std::string::npos, Output().find(",\"=1+2,\"\"x\"\"\n{}#\\\"\r\n"));
    EXPECT_EQ(1, Run(CDRCTL, {"export", "/etc/passwd"}));
    EXPECT_NE(std::string::npos, Output().find("not a record file")) << Output();
    // The list is what cdrd holds: the third stated record too, not yet saved.
    EXPECT_EQ(0, Run(CDRCTL, {"list", "--kind", "stated", "--caller", "T"}));
    EXPECT_EQ(2u, Count(Output(), "stated ")) << Output();
    EXPECT_NE(std::string::npos, Output().find("2 matches; page 1 of 1\n")) << Output();
    EXPECT_EQ(0, Run(CDRCTL, {"list", "--party", "three", "--format", "json"}));
    EXPECT_EQ(0u, Output().find("{\"kind\":\"stated\",\"ID\":2,\"ST\":100,\"dur\":0,")) << Output();

    EXPECT_EQ(0, Run(CDRCTL, {"clear", "2"}));
    EXPECT_EQ("cdrctl: cleared, mask 2\n", Output());
    EXPECT_EQ("", Db("missed_calls_db"));
    EXPECT_EQ(0, Run(CDRCTL, {"update-settings"}));
    EXPECT_EQ("cdrctl: settings updated\n", Output());

    // Beyond its parties a report is closed unread, and cdrsend says so.
    std::vector<std::unique_ptr<MessageQueueClient>> idle;
    for (size_t i = 0; i < CyclicMessageQueue::kMaxParties; ++i) {
        idle.push_back(std::make_unique<MessageQueueClient>(15));
        ASSERT_TRUE(idle.back()->Connect()) << idle.back()->Error();
    }
    EXPECT_EQ(1, Run(CDRSEND, {"--caller", "late"}));
    EXPECT_NE(std::string::npos, Output().find("cdrsend: not taken: ")) << Output();
    idle.clear();

    EXPECT_EQ(128 + SIGTERM, Stop(SIGTERM));
    const std::string log = ReadFile(kLog);
    EXPECT_NE(std::string::npos,
              log.find("(Call Detail Recorder) has been stopped by signal SIGTERM(15) at "));
    EXPECT_EQ(1u, Count(log, "  OnClear\n"));
    EXPECT_EQ(1u, Count(log, "  OnFlush\n"));
    EXPECT_EQ(1u, Count(log, "  OnUpdateCDRSettings\n"));
    EXPECT_EQ(0u, Count(log, "was not been created"));
    // The third stated record was never saved, and stopping saves nothing.
    EXPECT_EQ(2u, Count(Db("CDR_db"), "{\n"));
}

// A trace log in a directory others may write is refused and said where the
// operator looks; a sticky one of root's, as a plain tmpfs mount is, is taken.
TEST_F(DaemonTest, AnUnwrittenTraceLogIsSaid) {
    struct stat before;
    ASSERT_EQ(0, stat("/tmp/logs", &before));
    for (const mode_t mode : {0777, 01777}) {
        ASSERT_EQ(0, chmod("/tmp/logs", mode));
        Start();
        const bool refused = mode == 0777;
        EXPECT_EQ(refused ? 3 : 0, Run(CDRCTL, {"status"})) << Output();
        const std::string why = "/tmp/logs: directory writable by group or others";
        EXPECT_EQ(refused,
                  Output().find("/tmp/logs/cdr.log: " + why + ": not written") != std::string::npos)
            << Output();
        EXPECT_EQ(
            refused,
            ReadFile(mDir.File("cdrd.out")).find("/tmp/logs/cdr.log is not written: " + why) !=
                std::string::npos);
        EXPECT_EQ(128 + SIGTERM, Stop(SIGTERM));
        EXPECT_EQ(!refused, ReadFile(kLog).find("stopped by signal SIGTERM") != std::string::npos);
        unlink(kLog);
    }
    chmod("/tmp/logs", before.st_mode & 07777);
}

// A device out of memory as the daemon starts: the settings and databases
// fail and are traced, the first allocation outside them escapes the
// manager, and main turns it into the abort report and exit status 1.
TEST_F(DaemonTest, AnExceptionEscapingTheManagerGivesTheAbortReport) {
#ifndef MEMORY_FAULTS
    GTEST_SKIP() << "the out-of-memory preload runs in the native leg";
#else
    setenv("LD_PRELOAD", MEMORY_FAULTS, 1);
    setenv("OOM_AT_LOOKUP", "3", 1);
    Process daemon(CDRD, {}, mDir.File("cdrd.out"));
    unsetenv("LD_PRELOAD");
    unsetenv("OOM_AT_LOOKUP");
    EXPECT_EQ(1, daemon.Wait());
    const std::string log = ReadFile(kLog);
    EXPECT_NE(std::string::npos, log.find("GetCDRData: "));
    EXPECT_EQ(1u, Count(log,
                        "(Call Detail Recorder), caught C++ unhandled exception, reason: "
                        "std::bad_alloc ======="))
        << log;
#endif
}

// A fault inside the allocator, holding its lock, as a damaged heap gives:
// a report made with the heap would wait for ever. It comes out, with the
// symbols of the frames, and the fault ends the daemon.
TEST_F(DaemonTest, AFaultInsideTheAllocatorStillGivesItsReport) {
#ifndef MEMORY_FAULTS
    GTEST_SKIP() << "the memory-fault preload runs in the native leg";
#else
    setenv("LD_PRELOAD", MEMORY_FAULTS, 1);
    setenv("FAULT_IN_MALLOC", "1", 1);
    Start();
    unsetenv("LD_PRELOAD");
    unsetenv("FAULT_IN_MALLOC");
    mDaemon->Signal(SIGUSR2);
    Run(CDRSEND, {"--caller", "x"});  // the daemon allocates as it takes it
    int status = 0;
    EXPECT_TRUE(WaitFor([&] { return waitpid(mDaemon->Pid(), &status, WNOHANG) != 0; }))
        << "no end: the report waits for the allocator";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    const std::string log = ReadFile(kLog);
    EXPECT_NE(std::string::npos, log.find("(Call Detail Recorder), got signal SIGSEGV(11) ====="));
    EXPECT_NE(std::string::npos, log.find("memory_faults.so(malloc+0x")) << log;
    EXPECT_NE(std::string::npos, log.find(" End of Backtace ===")) << log;
#endif
}

// The init script of a device image: a second start fails, a restart
// loses no unsaved record, a stop works after a SIGINT, and a pid file
// whose pid went to another process is not taken for the daemon.
TEST_F(DaemonTest, TheInitScriptLosesNothing) {
    // The script is this machine's, whatever the programs it starts.
    auto init = [&](const char* verb) {
        Process p({"/bin/sh", std::string(CDR_SOURCE_DIR) + "/dist/cdrd.init", verb},
                  mDir.File("out"));
        return p.Wait();
    };
    const std::string pidFile = mDir.File("cdrd.pid");
    setenv("DAEMON", Launcher(CDRD, "cdrd").c_str(), 1);
    setenv("CDRCTL", Launcher(CDRCTL, "cdrctl").c_str(), 1);
    setenv("PIDFILE", pidFile.c_str(), 1);
    const group* web = getgrnam("nogroup");  // stands for the web side's group
    ASSERT_NE(nullptr, web);
    setenv("CDRD_GROUP", "nogroup", 1);
    auto pid = [&] { return std::atoi(ReadFile(pidFile).c_str()); };
    EXPECT_EQ(3, init("status"));
    EXPECT_EQ(0, init("start"));
    EXPECT_EQ("cdrd started (" + std::to_string(pid()) + ")\n", Output());
    // One at a time: a second start fails, by the script with its pid file
    // or without it, or by hand, and names the running one.
    const std::string running = std::to_string(pid());
    EXPECT_EQ(1, init("start"));
    EXPECT_EQ("cdrd is already running (" + running + ")\n", Output());
    rename(pidFile.c_str(), (pidFile + ".kept").c_str());
    EXPECT_EQ(1, init("start"));
    EXPECT_EQ(0u, Output().find("cdrd is already running (" + running + "), not started"));
    rename((pidFile + ".kept").c_str(), pidFile.c_str());
    alarm(60);  // a second cdrd that does not end ends the test
    EXPECT_EQ(1, Run(CDRD, {}));
    alarm(0);
    EXPECT_NE(std::string::npos, Output().find("cdrd: already running: pid " + running + " holds " +
                                               QueueAddress::Directory() + "/cdrd.lock"))
        << Output();
    EXPECT_EQ(1u, Count(ReadFile(kLog), "GetCDRData:\n"));  // the second read nothing
    EXPECT_EQ(1u, Count(ReadFile(kLog), "; this one ends.\n"));
    // Nine records that wait for the save interval of ten.
    ASSERT_EQ(0, Run(CDRSEND, {"--random", "9", "--seed", "3"}));
    Handled(9);
    EXPECT_EQ(0, init("restart"));
    size_t records = 0;
    for (const char* name : {"CDR_db", "missed_calls_db", "unsuccess_calls_db"})
        records += Count(Db(name), "{\n");
    EXPECT_EQ(9u, records);
    // Records are private data: readable by the daemon's group and no one else.
    const std::pair<std::string, mode_t> modes[] = {{mBase + "telephony", 0750},
                                                    {mBase + "telephony/CDR_db", 0640},
                                                    {kLog, 0640},
                                                    {QueueAddress::PathOf(111), 0660}};
    for (const auto& [path, mode] : modes) {
        struct stat st;
        ASSERT_EQ(0, stat(path.c_str(), &st)) << path;
        EXPECT_EQ(mode, st.st_mode & 07777) << path;
        EXPECT_EQ(web->gr_gid, st.st_gid) << path;
    }

    // Started in the background by a script, yet SIGINT takes its ordinary effect.
    EXPECT_EQ(0, init("status"));
    const int first = pid();
    kill(first, SIGINT);
    ASSERT_TRUE(WaitFor([&] { return kill(first, 0) != 0; }));
    EXPECT_EQ(0, init("stop"));
    EXPECT_EQ("cdrd is not running\n", Output());
    EXPECT_NE(std::string::npos,
              ReadFile(kLog).find("(Call Detail Recorder) has been stopped by signal SIGINT(2)"));

    // A pid file naming a live process that is not the daemon it was written for.
    WriteFile(pidFile, std::to_string(getpid()) + " 1\n");
    EXPECT_EQ(3, init("status"));
    EXPECT_EQ(0, init("stop"));
    EXPECT_EQ("cdrd is not running\n", Output());
    for (const char* name : {"DAEMON", "CDRCTL", "PIDFILE", "CDRD_GROUP"}) unsetenv(name);
}
