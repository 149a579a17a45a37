#pragma once

#include "platform/msg/CallDetailReport.h"
#include "platform/msg/CallStatistics.h"
#include "platform/msg/CyclicMessageQueue.h"
#include "platform/msg/QueueAddress.h"

// The call control side of the recorder: receives call detail reports on
// queue 15. A program derives and overrides the handlers; they run inside
// ProcessMessageFromQueue, on its caller's thread. Only report messages are
// taken on this queue; anything else is refused as bad input.
class CDRMessenger : public CyclicMessageQueue {
public:
    static constexpr int kQueueId = QueueAddress::kCallControlQueue;

    CDRMessenger();
    ~CDRMessenger() override;

    // A report: KIND as sent (1 stated, 2 missed, 4 failed, or anything
    // else), STATISTICS null when the call has none. The default stores
    // nothing and returns 0.
    virtual int OnAddCDR(int kind, const CallDetailReport& report,
                         const CallStatistics* statistics);
    // Call control connected (true) or went away (false). Default: nothing.
    virtual void OnCDRPartyStateChanged(bool connected);

protected:
    bool Dispatch(const WireMessage& message) override;
    void OnPartyStateChanged(bool connected) override;
};
