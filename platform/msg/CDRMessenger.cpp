#include "platform/msg/CDRMessenger.h"

CDRMessenger::CDRMessenger() : CyclicMessageQueue(kQueueId) {}

CDRMessenger::~CDRMessenger() = default;

int CDRMessenger::OnAddCDR(int, const CallDetailReport&, const CallStatistics*) {
    return 0;
}

void CDRMessenger::OnCDRPartyStateChanged(bool) {}

bool CDRMessenger::Dispatch(const WireMessage& message) {
    if (message.mType != WireMessage::kReport)
        return false;
    OnAddCDR(message.mKind, message.mReport,
             message.mHasStatistics ? &message.mStatistics : nullptr);
    return true;
}

void CDRMessenger::OnPartyStateChanged(bool connected) {
    OnCDRPartyStateChanged(connected);
}
