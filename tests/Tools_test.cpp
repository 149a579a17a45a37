// cdrsend and cdrctl as processes, against the stand-in receiver cdrsink.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/msg/QueueAddress.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace testing_support;

namespace {

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("MSGQ_DIR", mDir.File("msgq").c_str(), 1); }

    int Run(const char* program, const std::vector<std::string>& args) {
        Process p(program, args, mDir.File("out"));
        return p.Wait();
    }
    std::string Output() { return ReadFile(mDir.File("out")); }

    // Starts cdrsink and waits until both of its queues listen.
    std::unique_ptr<Process> StartSink(long count) {
        auto sink = std::make_unique<Process>(
            CDRSINK, std::vector<std::string>{"--count", std::to_string(count)}, mDir.File("sink"));
        for (int i = 0; i < 600; ++i) {
            if (access(QueueAddress::PathOf(111).c_str(), F_OK) == 0 &&
                access(QueueAddress::PathOf(15).c_str(), F_OK) == 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return sink;
    }

    TempDir mDir;
};

}  // namespace

TEST_F(ToolsTest, RandomReportsArriveUnchanged) {
    auto sink = StartSink(3000);
    EXPECT_EQ(0, Run(CDRSEND, {"--random", "3000", "--seed", "1"})) << Output();
    EXPECT_NE(std::string::npos, Output().find("3000 reports in")) << Output();
    EXPECT_EQ(0, sink->Wait()) << ReadFile(mDir.File("sink"));
    EXPECT_NE(std::string::npos,
              ReadFile(mDir.File("sink")).find("3000 reports in order, 0 mismatches"));
}

TEST_F(ToolsTest, ExitStatusTellsWhatWentWrong) {
    // Usage errors, found before anything is sent.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--kind", "x"},
                                                 {"--stat", "tx_pkt=x"},
                                                 {"--stat", "bogus=1"},
                                                 {"--duration", "-1"},
                                                 {"--caller", std::string(256, 'c')},
                                                 {"--caller"},
                                                 {"--frobnicate"}})
        EXPECT_EQ(2, Run(CDRSEND, args)) << args[0];
    // Each says what is wrong; cdrd too, which would otherwise start.
    const struct {
        const char* program;
        std::vector<std::string> args;
        int status;
        const char* says;
    } usage[] = {
        {CDRCTL, {}, 2, "cdrctl: no command\n"},
        {CDRCTL, {"clear"}, 2, "cdrctl: clear needs a mask\n"},
        {CDRCTL, {"clear", "abc"}, 2, "cdrctl: 'abc' is not a mask: 1 stated, 2 missed, 4 failed"},
        {CDRCTL, {"flush", "8"}, 2, "cdrctl: '8' is not a mask"},
        {CDRCTL, {"reboot"}, 2, "cdrctl: unknown command 'reboot'\n"},
        {CDRCTL, {"status", "--timeout"}, 2, "cdrctl: --timeout needs a number of seconds\n"},
        {CDRCTL, {"update-settings", "--timeout", "-1"}, 2, "seconds from 0 to 86400, not '-1'"},
        {CDRCTL, {"download-now", "--timeout", "1"}, 2, "download-now waits for no answer"},
        {CDRCTL, {"serve-saved", "9"}, 2, "serve-saved takes a mask of the databases to read"},
        {CDRCTL, {"serve-saved"}, 2, "serve-saved answers cdrweb on a socket"},
        {CDRCTL, {"--help"}, 0, "usage: cdrctl"},
        {CDRD, {"--help"}, 0, "usage: cdrd [--umask MODE]\n"},
        {CDRD, {"--version"}, 0, "cdrd 0."},
        {CDRD, {"--frobnicate"}, 2, "cdrd: unknown argument '--frobnicate'\n"},
        {CDRD, {"--umask", "9"}, 2, "cdrd: --umask takes an octal mode such as 027, not '9'\n"},
    };
    for (const auto& u : usage) {
        EXPECT_EQ(u.status, Run(u.program, u.args)) << u.says;
        EXPECT_NE(std::string::npos, Output().find(u.says)) << Output();
    }

    // A file that is not there is an error, not an empty export.
    EXPECT_EQ(1, Run(CDRCTL, {"export", mDir.File("missing")}));
    EXPECT_EQ("cdrctl: " + mDir.File("missing") + ": No such file or directory\n", Output());

    // No daemon.
    EXPECT_EQ(1, Run(CDRSEND, {"--caller", "Alice"}));
    EXPECT_NE(std::string::npos, Output().find("cannot reach cdrd"));
    EXPECT_EQ(1, Run(CDRCTL, {"clear", "1"}));

    // A listener that never answers.
    mkdir(mDir.File("msgq").c_str(), 0770);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strcpy(addr.sun_path, QueueAddress::PathOf(111).c_str());
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    ASSERT_EQ(0, listen(fd, 4));
    EXPECT_EQ(2, Run(CDRCTL, {"flush", "1", "--timeout", "0.3"}));
    EXPECT_NE(std::string::npos, Output().find("no answer"));
    close(fd);

    // A report that a listener closes unread was sent, but not taken.
    fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    strcpy(addr.sun_path, QueueAddress::PathOf(15).c_str());
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    ASSERT_EQ(0, listen(fd, 4));
    Process sender(CDRSEND, {"--caller", "x"}, mDir.File("out"));
    const int party = accept(fd, nullptr, nullptr);
    pollfd sent{party, POLLIN, 0};
    ASSERT_EQ(1, poll(&sent, 1, 60000));
    close(party);
    EXPECT_EQ(1, sender.Wait());
    EXPECT_NE(std::string::npos, Output().find("cdrsend: not taken: ")) << Output();
    // Nor is anything sent where anyone could have taken the queue's name.
    chmod(mDir.File("msgq").c_str(), 01777);
    EXPECT_EQ(1, Run(CDRSEND, {"--caller", "x"}));
    EXPECT_NE(std::string::npos, Output().find(" is writable by others: nothing is sent there"));
    close(fd);

    // Nor to a listener who may not make files in the queue directory.
    if (geteuid() != 0)
        return;  // it takes root to listen as another user
    chmod(mDir.File("msgq").c_str(), 0700);
    unlink(addr.sun_path);
    fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    const pid_t other = fork();
    if (other == 0) {  // the listener is whoever calls listen
        if (setgid(65534) == 0 && setuid(65534) == 0 && listen(fd, 4) == 0)
            (void)!write(ready[1], "", 1);
        pause();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(1, read(ready[0], &byte, 1));
    EXPECT_EQ(1, Run(CDRSEND, {"--caller", "x"}));
    EXPECT_NE(std::string::npos, Output().find("held by user 65534")) << Output();
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    close(fd);
}
