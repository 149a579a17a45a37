#include "platform/msg/CyclicMessageQueue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/msg/CDRMessenger.h"
#include "platform/msg/CDRUpdateMessenger.h"
#include "platform/msg/CyclicQueuePoller.h"
#include "platform/msg/MessageQueueClient.h"
#include "platform/msg/QueueAddress.h"
#include "tests/support/TempDir.h"

using namespace testing_support;

namespace {

using Receipt = MessageQueueClient::Receipt;

struct ReportReceiver : CDRMessenger {
    std::vector<std::string> events;
    std::vector<CallDetailReport> reports;
    int OnAddCDR(int kind, const CallDetailReport& r, const CallStatistics*) override {
        events.push_back("report " + std::to_string(kind));
        reports.push_back(r);
        return 1;
    }
    void OnCDRPartyStateChanged(bool connected) override {
        events.push_back(connected ? "connected" : "disconnected");
    }
    size_t Count(const std::string& e) const { return std::count(events.begin(), events.end(), e); }
};

struct CommandReceiver : CDRUpdateMessenger {
    std::vector<std::string> events;
    int OnCgiPartyStateChanged(bool connected) override {
        events.push_back(connected ? "connected" : "disconnected");
        return 0;
    }
    int OnClear(int mask) override {
        events.push_back("clear");
        return Clear(mask);
    }
    int OnFlush(int mask) override {
        events.push_back("flush");
        return Flush(mask);
    }
    int OnUpdateCDRSettings() override {
        events.push_back("settings");
        return UpdateCDRSettings();
    }
    int OnUpdateCDRDownloadSettings() override {
        events.push_back("download settings");
        return 1;
    }
    int OnDownloadNow() override {
        events.push_back("download now");
        return 1;
    }
    size_t Count(const std::string& e) const { return std::count(events.begin(), events.end(), e); }
};

WireMessage Report(int kind, uint32_t duration) {
    WireMessage m;
    m.mKind = kind;
    m.mReport.mDuration = duration;
    return m;
}

WireMessage Command(WireMessage::Type type, int mask = 0) {
    WireMessage m;
    m.mType = type;
    m.mMask = mask;
    return m;
}

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        alarm(60);  // a lost event would block the pump: fail instead of hanging
        mDir = std::make_unique<TempDir>();
        setenv("MSGQ_DIR", (mDir->Path() + "/msgq").c_str(), 1);
        mReports = std::make_unique<ReportReceiver>();
        mCommands = std::make_unique<CommandReceiver>();
        mPoller = std::make_unique<CyclicQueuePoller>(39);
        ASSERT_EQ(1, mPoller->SelectQueue(15, "/bin/ping", true, true));
        ASSERT_EQ(1, mPoller->SelectQueue(111, "/bin/ping", true, true));
    }
    void TearDown() override { alarm(0); }

    // Handles events as the daemon's loop does until DONE holds.
    void PumpUntil(const std::function<bool()>& done) {
        while (!done()) {
            int q = mPoller->WaitForEvents();
            ASSERT_TRUE(q == 15 || q == 111) << q;
            (q == 15 ? static_cast<CyclicMessageQueue&>(*mReports)
                     : static_cast<CyclicMessageQueue&>(*mCommands))
                .ProcessMessageFromQueue(1);
        }
    }

    std::unique_ptr<TempDir> mDir;
    std::unique_ptr<ReportReceiver> mReports;
    std::unique_ptr<CommandReceiver> mCommands;
    std::unique_ptr<CyclicQueuePoller> mPoller;
};

}  // namespace

TEST_F(QueueTest, BadInputClosesOnlyItsParty) {
    MessageQueueClient steady(15);
    ASSERT_TRUE(steady.Connect()) << steady.Error();
    std::string good, error;
    ASSERT_TRUE(WireFormat::Encode(Report(1, 7), &good, &error));
    std::mt19937 rng(5);
    std::string noise(300, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    std::string clearOn15;
    ASSERT_TRUE(WireFormat::Encode(Command(WireMessage::kClear, 1), &clearOn15, &error));
    const std::vector<std::string> bad = {
        good.substr(0, good.size() - 3),                     // truncated
        clearOn15,                                           // a command on the report queue
        std::string(WireFormat::kMaxMessage + 500, '\x01'),  // longer than any message
        noise,                                               // random bytes
    };
    size_t handled = 0;
    for (const std::string& datagram : bad) {
        MessageQueueClient hostile(15);
        ASSERT_TRUE(hostile.Connect()) << hostile.Error();
        hostile.SendBytes(datagram);
        hostile.SendBytes(good);  // after the bad one: dropped with its connection
        const size_t closes = mReports->Count("disconnected");
        PumpUntil([&] { return mReports->Count("disconnected") == closes + 1; });
        WireMessage answer;
        EXPECT_EQ(Receipt::kFailed, hostile.Receive(&answer, 2000));

        steady.SendBytes(good);
        ++handled;
        PumpUntil([&] { return mReports->reports.size() == handled; });
    }
    EXPECT_EQ(bad.size(), mReports->GetCounters().mBadMessages);
    EXPECT_EQ(bad.size(), mReports->GetCounters().mMessages);
    EXPECT_EQ(0u, mCommands->Count("clear"));

    // A report on the command queue reaches no handler either.
    MessageQueueClient web(111);
    ASSERT_TRUE(web.Connect()) << web.Error();
    web.SendBytes(good);
    PumpUntil([&] { return mCommands->Count("disconnected") == 1; });
    EXPECT_EQ(1u, mCommands->GetCounters().mBadMessages);
    EXPECT_EQ(bad.size(), mReports->reports.size());
}

TEST_F(QueueTest, EachWebClientGetsItsOwnAnswers) {
    MessageQueueClient first(111), second(111);
    ASSERT_TRUE(first.Connect()) << first.Error();
    ASSERT_TRUE(second.Connect()) << second.Error();
    first.Send(Command(WireMessage::kClear, 5));
    second.Send(Command(WireMessage::kFlush, 6));
    first.Send(Command(WireMessage::kUpdateSettings));
    second.Send(Command(WireMessage::kDownloadNow));
    second.Send(Command(WireMessage::kUpdateDownloadSettings));
    PumpUntil([&] { return mCommands->events.size() == 7; });

    WireMessage a;
    ASSERT_EQ(Receipt::kMessage, first.Receive(&a, 2000));
    EXPECT_EQ(WireMessage::kClearDone, a.mType);
    EXPECT_EQ(5, a.mMask);
    ASSERT_EQ(Receipt::kMessage, first.Receive(&a, 2000));
    EXPECT_EQ(WireMessage::kSettingsUpdated, a.mType);
    ASSERT_EQ(Receipt::kMessage, second.Receive(&a, 2000));
    EXPECT_EQ(WireMessage::kFlushDone, a.mType);
    EXPECT_EQ(6, a.mMask);
    // The download commands are not answered.
    EXPECT_EQ(Receipt::kTimedOut, first.Receive(&a, 50));
    EXPECT_EQ(Receipt::kTimedOut, second.Receive(&a, 50));
    EXPECT_EQ(1u, mCommands->Count("download now"));
    EXPECT_EQ(1u, mCommands->Count("download settings"));
    EXPECT_TRUE(mReports->events.empty());
    // An answer with no command being handled has no one to go to.
    EXPECT_EQ(0, mCommands->Clear(1));
}

TEST_F(QueueTest, ClientThatNeverReadsItsAnswersIsClosedNotWaitedFor) {
    MessageQueueClient deaf(111), polite(111);
    ASSERT_TRUE(deaf.Connect()) << deaf.Error();
    ASSERT_TRUE(polite.Connect()) << polite.Error();
    bool closed = false;
    for (int round = 0; round < 200 && !closed; ++round) {
        for (int i = 0; i < 20 && !closed; ++i)
            closed = !deaf.Send(Command(WireMessage::kClear, 1));  // the daemon hung up
        const size_t before = mCommands->events.size();
        PumpUntil([&] {
            return mCommands->Count("disconnected") > 0 || mCommands->events.size() >= before + 20;
        });
        closed = closed || mCommands->Count("disconnected") > 0;
    }
    ASSERT_TRUE(closed);
    EXPECT_GE(mCommands->GetCounters().mAnswersDropped, 1u);

    polite.Send(Command(WireMessage::kFlush, 2));
    const size_t flushes = mCommands->Count("flush");
    PumpUntil([&] { return mCommands->Count("flush") == flushes + 1; });
    WireMessage a;
    ASSERT_EQ(Receipt::kMessage, polite.Receive(&a, 2000));
    EXPECT_EQ(WireMessage::kFlushDone, a.mType);
}

TEST(QueueSocket, TakesOnlyAStaleSocketsPlace) {
    TempDir dir;
    setenv("MSGQ_DIR", dir.Path().c_str(), 1);
    const std::string path = QueueAddress::PathOf(15);
    const std::string victim = dir.File("victim");
    WriteFile(victim, "precious");
    ASSERT_EQ(0, symlink(victim.c_str(), path.c_str()));
    {
        ReportReceiver owner;
        CyclicQueuePoller poller(39);
        ASSERT_EQ(1, poller.SelectQueue(15, "/bin/ping", true, true));
        EXPECT_EQ("precious", ReadFile(victim));
        struct stat st;
        ASSERT_EQ(0, lstat(path.c_str(), &st));
        EXPECT_TRUE(S_ISSOCK(st.st_mode));

        // A second receiver may not take a queue that a live one listens on.
        ReportReceiver intruder;
        CyclicQueuePoller other(39);
        EXPECT_EQ(0, other.SelectQueue(15, "/bin/ping", true, true));
    }
    // A socket file left behind by a process that died is replaced.
    ReportReceiver owner;
    CyclicQueuePoller poller(39);
    WriteFile(path, "stale");
    EXPECT_EQ(1, poller.SelectQueue(15, "/bin/ping", true, true));
    MessageQueueClient cc(15);
    EXPECT_TRUE(cc.Connect()) << cc.Error();
    // Nothing listens on an unselected queue.
    MessageQueueClient web(111);
    EXPECT_FALSE(web.Connect());

    // A queue directory that others could have taken a queue's name in is
    // refused, and says why; a missing one is made private.
    const std::string queues = dir.File("queues");
    setenv("MSGQ_DIR", queues.c_str(), 1);
    const struct {
        std::function<void()> plant;
        const char* why;  // null: taken
    } dirs[] = {
        {[&] { symlink(dir.Path().c_str(), queues.c_str()); },
         "is not a directory (nor followed as a link)"},
        {[&] {
             mkdir(queues.c_str(), 0);
             chmod(queues.c_str(), 01777);
         },
         "is writable by others"},
        {[] {}, nullptr},
    };
    for (const auto& d : dirs) {
        std::system(("rm -rf " + queues).c_str());
        d.plant();
        ReportReceiver receiver;
        CyclicQueuePoller p(39);
        EXPECT_EQ(d.why ? 0 : 1, p.SelectQueue(15, "/bin/ping", true, true));
        EXPECT_EQ(d.why ? "queue directory " + queues + " " + d.why : "", receiver.OpenFailure());
    }
    struct stat st;
    ASSERT_EQ(0, lstat(queues.c_str(), &st));
    EXPECT_EQ(0770u, st.st_mode & 07777);
}
