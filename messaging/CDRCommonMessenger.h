#pragma once

#include "platform/msg/CDRMessenger.h"
#include "platform/msg/CDRUpdateMessenger.h"
#include "platform/msg/CyclicQueuePoller.h"

// Both messenger roles in one object, and the program's only event loop.
//
// The object receives call detail reports (queue 15, through its
// CDRMessenger part) and web commands (queue 111, through its
// CDRUpdateMessenger part). It owns the poller, created with the object and
// deleted with it. The loop and every handler run on the thread that calls
// WaitForMessagingEvent; the frame takes no lock. It handles nothing itself:
// a derived class supplies the handlers.
class CDRCommonMessenger : public CDRMessenger, public CDRUpdateMessenger {
public:
    CDRCommonMessenger();
    virtual ~CDRCommonMessenger();

    // Registers queues 15 and 111 with the poller.
    void SelectQueues();

    // Waits for events and dispatches each to the side the poller names, for
    // as long as mRunning stays nonzero. An exception from the wait or a
    // handler ends the loop and passes on. Returns 0.
    int WaitForMessagingEvent();

    // Ends the loop after the pass in progress. For handlers on the loop's
    // own thread: a blocked wait is not woken.
    void Stop() { mRunning = 0; }

    // Called when the wait fails; the loop then waits again at once.
    virtual void OnWaitFailed();

protected:
    CyclicQueuePoller* mpPoller;
    int mRunning;
};
