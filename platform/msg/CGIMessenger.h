#pragma once

#include "platform/msg/CyclicMessageQueue.h"
#include "platform/msg/QueueAddress.h"

// The web (CGI) side's queue: party notices for the web clients. Commands and
// their answers are added by CDRUpdateMessenger.
class CGIMessenger : public CyclicMessageQueue {
public:
    static constexpr int kQueueId = QueueAddress::kWebQueue;

    explicit CGIMessenger(int queueId = kQueueId);
    ~CGIMessenger() override;

    // A web client connected (true) or went away (false). Default: returns 0.
    virtual int OnCgiPartyStateChanged(bool connected);

protected:
    void OnPartyStateChanged(bool connected) override;
};
