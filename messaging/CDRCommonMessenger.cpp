#include "messaging/CDRCommonMessenger.h"

#include "platform/msg/QueueAddress.h"

namespace {
// The device's values for its messaging library: the poller's room for
// queues, and the program path it takes with each queue (which this
// implementation of the library does not use).
const int kPollerSize = 39;
const char kQueueProgram[] = "/bin/ping";
}  // namespace

CDRCommonMessenger::CDRCommonMessenger()
    : CDRMessenger(), CDRUpdateMessenger(), mpPoller(nullptr), mRunning(0) {
    mpPoller = new CyclicQueuePoller(kPollerSize);
}

CDRCommonMessenger::~CDRCommonMessenger() {
    if (mpPoller)
        delete mpPoller;
}

void CDRCommonMessenger::SelectQueues() {
    mpPoller->SelectQueue(QueueAddress::kCallControlQueue, kQueueProgram, true, true);
    mpPoller->SelectQueue(QueueAddress::kWebQueue, kQueueProgram, true, true);
}

int CDRCommonMessenger::WaitForMessagingEvent() {
    mRunning = 1;
    while (mRunning) {
        switch (mpPoller->WaitForEvents()) {
            case QueueAddress::kCallControlQueue:
                CDRMessenger::ProcessMessageFromQueue(1);
                break;
            case QueueAddress::kWebQueue:
                CDRUpdateMessenger::ProcessMessageFromQueue(1);
                break;
            case -1:
                OnWaitFailed();
                break;
            default:
                break;
        }
    }
    return 0;
}

void CDRCommonMessenger::OnWaitFailed() {}
