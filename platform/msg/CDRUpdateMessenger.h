#pragma once

#include "platform/msg/CGIMessenger.h"

// The recorder's command queue (111): the web side's commands, and the
// answers to them.
//
// Handlers run inside ProcessMessageFromQueue. The defaults do nothing and
// return 0. Clear, Flush and UpdateCDRSettings answer the web client whose
// command is being handled (see SendAnswer); called outside a handler they
// have no one to answer and return 0. Only command messages are taken on this
// queue; anything else is refused as bad input.
class CDRUpdateMessenger : public CGIMessenger {
public:
    CDRUpdateMessenger();
    ~CDRUpdateMessenger() override;

    virtual int OnClear(int mask);
    virtual int OnFlush(int mask);
    virtual int OnUpdateCDRSettings();
    virtual int OnUpdateCDRDownloadSettings();
    virtual int OnDownloadNow();
    // A command of this implementation beside the device's: how the
    // recorder stands, answered with Status.
    virtual int OnStatus();
    // Another of this implementation's: records the web side asks for,
    // answered with Records (see RecordQuery).
    virtual int OnReadRecords(const RecordQuery& query);

    // The answers; 1 when sent.
    int Clear(int mask);
    int Flush(int mask);
    int UpdateCDRSettings();
    int Status(const RecorderStatus& status);
    int Records(const RecordPage& page);

protected:
    bool Dispatch(const WireMessage& message) override;
    // Runs before each answer goes out, for what must be done before the
    // web side hears anything. The default does nothing.
    virtual void BeforeAnswer();

private:
    int Answer(const WireMessage& answer);
};
