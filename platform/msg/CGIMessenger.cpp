#include "platform/msg/CGIMessenger.h"

CGIMessenger::CGIMessenger(int queueId) : CyclicMessageQueue(queueId) {}

CGIMessenger::~CGIMessenger() = default;

int CGIMessenger::OnCgiPartyStateChanged(bool) {
    return 0;
}

void CGIMessenger::OnPartyStateChanged(bool connected) {
    OnCgiPartyStateChanged(connected);
}
