#include "messaging/CDRCommonMessenger.h"

CDRCommonMessenger::CDRCommonMessenger()
    : CDRMessenger(), CDRUpdateMessenger(), mpPoller(nullptr), mRunning(0) {
    mpPoller = new CyclicQueuePoller(39);
}

CDRCommonMessenger::~CDRCommonMessenger() {
    if (mpPoller)
        delete mpPoller;
}

void CDRCommonMessenger::SelectQueues() {
    mpPoller->SelectQueue(15, "/bin/ping", true, true);
    mpPoller->SelectQueue(111, "/bin/ping", true, true);
}

int CDRCommonMessenger::WaitForMessagingEvent() {
    mRunning = 1;
    while (mRunning) {
        switch (mpPoller->WaitForEvents()) {
            case 15:
                CDRMessenger::ProcessMessageFromQueue(1);
                break;
            case 111:
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
