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

    void UsePoller(CyclicQueuePoller* poller) {
        delete mpPoller;
        mpPoller = poller;
        mpPoller->SelectQueue(15, "/bin/ping", true, true);
        mpPoller->SelectQueue(111, "/bin/ping", true, true);
    }

    int OnAddCDR(int kind, const CallDetailReport&, const CallStatistics*) override {
        Note("report " + std::to_string(kind));
        return 1;
    }
    void OnCDRPartyStateChanged(bool c) override { Note(c ? "cc up" : "cc down"); }
    int OnCgiPartyStateChanged(bool c) override {
        Note(c ? "web up" : "web down");
        return 0;
    }
    int OnClear(int mask) override {
        Note("clear");
        return Clear(mask);
    }

private:
    void Note(const std::string& e) { events.push_back(e); }
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

TEST_F(FrameTest, ThePollersResultAloneChoosesTheSide) {
    Frame frame;
    MessageQueueClient web(111);
    frame.UsePoller(new ScriptedPoller({15, 15, 15, 15}, true));
    ASSERT_TRUE(web.Connect()) << web.Error();
    ASSERT_TRUE(web.Send(Command(WireMessage::kClear, 1))) << web.Error();
    EXPECT_THROW(frame.WaitForMessagingEvent(), std::runtime_error);
    EXPECT_TRUE(frame.events.empty());  // the command side was never asked

    frame.UsePoller(new ScriptedPoller({111, 111}, true));
    EXPECT_THROW(frame.WaitForMessagingEvent(), std::runtime_error);
    EXPECT_EQ((std::vector<std::string>{"web up", "clear"}), frame.events);
}
