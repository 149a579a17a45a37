#pragma once

#include <cstddef>
#include <vector>

#include "platform/util/ThreadMutex.h"

// A bounded FIFO of typed byte messages between threads.
//
// The capacity counts each message's bytes plus a small header, so memory
// stays within what was asked for. SendMessage never blocks: it returns 0
// when the message does not fit. GetMessage waits until a message is there,
// or until Close. Any thread may call any operation.
class CyclicQueue {
public:
    explicit CyclicQueue(unsigned long capacity);
    virtual ~CyclicQueue();
    CyclicQueue(const CyclicQueue&) = delete;
    CyclicQueue& operator=(const CyclicQueue&) = delete;

    // Copies LENGTH bytes of DATA in as one message of TYPE. Nonzero when
    // queued, 0 when it does not fit (or the queue is closed). Virtual so that
    // a test can stand in a queue that stays full.
    virtual int SendMessage(long type, const char* data, unsigned long length);

    // Waits for the oldest message and copies its type and up to SIZE bytes
    // of it out (a longer message is cut). Returns the number of bytes
    // copied, or -1 once the queue is closed and empty.
    long GetMessage(long* type, char* buffer, unsigned long size);

    // Wakes every waiting GetMessage; later sends fail.
    void Close();

private:
    struct Header {
        long type;
        unsigned long length;
    };
    void Put(const char* p, size_t n) REQUIRES(mLock);
    void Take(char* p, size_t n) REQUIRES(mLock);

    ThreadMutex mLock;
    ThreadCondition mReady;  // a message came, or the queue closed
    std::vector<char> mRing GUARDED_BY(mLock);
    size_t mHead GUARDED_BY(mLock) = 0;  // next byte to read
    size_t mUsed GUARDED_BY(mLock) = 0;
    bool mClosed GUARDED_BY(mLock) = false;
};
