#include "messaging/CDRCommonMessenger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/msg/MessageQueueClient.h"
#include "tests/support/TempDir.h"

namespace {

// Ends a loop by throwing once its script is used up, as nothing else can.
class ScriptedPoller : public CyclicQueuePoller {
public:
    ScriptedPoller(std::vector<int> script, bool waitForReal)
        : CyclicQueuePoller(39), mScript(std::move(script)), mWaitForReal(waitForReal) {}
    int WaitForEvents() override {
        if (mNext == mScript.size())
            throw std::runtime_error("script over");
        if (mWaitForReal)
            CyclicQueuePoller::WaitForEvents();  // sees the sockets' events
        return mScript[mNext++];
    }

private:
    std::vector<int> mScript;
    size_t mNext = 0;
    bool mWaitForReal;
};

class Frame : public CDRCommonMessenger {
public:
    std::vector<std::string> events;
    int waitFailures = 0;
    size_t stopAfter = 1000;

    void UsePoller(CyclicQueuePoller* poller) {
        delete mpPoller;
        mpPoller = poller;
        mpPoller->SelectQueue(15, "/bin/ping", true, true);
        mpPoller->SelectQueue(111, "/bin/ping", true, true);
    }
    int Running() const { return mRunning; }

    int OnAddCDR(int kind, const CallDetailReport&, const CallStatistics*) override {
        return Note("report " + std::to_string(kind)), 1;
    }
    void OnCDRPartyStateChanged(bool c) override { Note(c ? "cc up" : "cc down"); }
    int OnCgiPartyStateChanged(bool c) override { return Note(c ? "web up" : "web down"), 0; }
    int OnClear(int mask) override { return Note("clear"), Clear(mask); }
    int OnFlush(int mask) override { return Note("flush"), Flush(mask); }
    int OnUpdateCDRSettings() override { return Note("settings"), UpdateCDRSettings(); }
    int OnUpdateCDRDownloadSettings() override { return Note("download settings"), 1; }
    int OnDownloadNow() override { return Note("download now"), 1; }
    void OnWaitFailed() override { ++waitFailures; }

private:
    void Note(const std::string& e) {
        events.push_back(e);
        if (events.size() >= stopAfter)
            Stop();
    }
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        alarm(60);
        setenv("MSGQ_DIR", mDir.Path().c_str(), 1);
    }
    void TearDown() override { alarm(0); }
    testing_support::TempDir mDir;
};

WireMessage Command(WireMessage::Type type, int mask = 0) {
    WireMessage m;
    m.mType = type;
    m.mMask = mask;
    return m;
}

}  // namespace

TEST_F(FrameTest, WaitFailureCallsOnWaitFailedAndOtherResultsAreIgnored) {
    Frame frame;
    EXPECT_EQ(0, frame.Running());
    frame.UsePoller(new ScriptedPoller({-1, -1, 0, 7, 16, 110, -2, -1}, false));
    EXPECT_THROW(frame.WaitForMessagingEvent(), std::runtime_error);
    EXPECT_EQ(3, frame.waitFailures);
    EXPECT_TRUE(frame.events.empty());
    EXPECT_EQ(1, frame.Running());  // ended by the exception, not by a stop
}

TEST_F(FrameTest, EachQueueReachesOnlyItsOwnHandlers) {
    Frame frame;
    frame.SelectQueues();
    MessageQueueClient cc(15), web(111);
    cc.Connect();
    web.Connect();
    WireMessage report;
    report.mKind = 2;
    cc.Send(report);
    cc.Send(Command(WireMessage::kClear, 3));  // a command on the report queue: refused
    web.Send(Command(WireMessage::kClear, 3));
    web.Send(Command(WireMessage::kFlush, 4));
    web.Send(Command(WireMessage::kUpdateSettings));
    web.Send(Command(WireMessage::kUpdateDownloadSettings));
    web.Send(Command(WireMessage::kDownloadNow));
    web.Send(report);  // a report on the command queue: refused
    frame.stopAfter = 10;
    EXPECT_EQ(0, frame.WaitForMessagingEvent());

    std::vector<std::string> cc_side, web_side;
    for (const std::string& e : frame.events)
        (e.rfind("cc", 0) == 0 || e.rfind("report", 0) == 0 ? cc_side : web_side).push_back(e);
    EXPECT_EQ((std::vector<std::string>{"cc up", "report 2", "cc down"}), cc_side);
    EXPECT_EQ((std::vector<std::string>{"web up", "clear", "flush", "settings", "download settings",
                                        "download now", "web down"}),
              web_side);
    EXPECT_EQ(0, frame.waitFailures);
    WireMessage answer;
    ASSERT_TRUE(web.Receive(&answer, 2000));
    EXPECT_EQ(WireMessage::kClearDone, answer.mType);
    EXPECT_EQ(3, answer.mMask);
}

TEST_F(FrameTest, ThePollersResultAloneChoosesTheSide) {
    Frame frame;
    MessageQueueClient web(111);
    frame.UsePoller(new ScriptedPoller({15, 15, 15, 15}, true));
    web.Connect();
    web.Send(Command(WireMessage::kClear, 1));
    EXPECT_THROW(frame.WaitForMessagingEvent(), std::runtime_error);
    EXPECT_TRUE(frame.events.empty());  // the command side was never asked

    frame.UsePoller(new ScriptedPoller({111, 111}, true));
    EXPECT_THROW(frame.WaitForMessagingEvent(), std::runtime_error);
    EXPECT_EQ((std::vector<std::string>{"web up", "clear"}), frame.events);
}
