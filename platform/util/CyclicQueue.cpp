#include "platform/util/CyclicQueue.h"

#include <cassert>
#include <cstring>

CyclicQueue::CyclicQueue(unsigned long capacity) : mRing(capacity) {}

CyclicQueue::~CyclicQueue() = default;

void CyclicQueue::Put(const char* p, size_t n) {
    size_t tail = (mHead + mUsed) % mRing.size();
    size_t first = n < mRing.size() - tail ? n : mRing.size() - tail;
    std::memcpy(&mRing[tail], p, first);
    std::memcpy(&mRing[0], p + first, n - first);
    mUsed += n;
}

void CyclicQueue::Take(char* p, size_t n) {
    size_t first = n < mRing.size() - mHead ? n : mRing.size() - mHead;
    if (p) {
        std::memcpy(p, &mRing[mHead], first);
        std::memcpy(p + first, &mRing[0], n - first);
    }
    mHead = (mHead + n) % mRing.size();
    mUsed -= n;
}

int CyclicQueue::SendMessage(long type, const char* data, unsigned long length) {
    ThreadMutexLock hold(mLock);
    if (mClosed || sizeof(Header) + length > mRing.size() - mUsed)
        return 0;
    Header h{type, length};
    Put(reinterpret_cast<const char*>(&h), sizeof h);
    Put(data, length);
    mReady.Signal();
    return 1;
}

long CyclicQueue::GetMessage(long* type, char* buffer, unsigned long size) {
    ThreadMutexLock hold(mLock);
    while (mUsed == 0 && !mClosed) mReady.Wait(mLock);
    if (mUsed == 0)
        return -1;
    // Only SendMessage writes the ring, always a header and its whole message.
    assert(mUsed >= sizeof(Header));
    Header h;
    Take(reinterpret_cast<char*>(&h), sizeof h);
    unsigned long copied = h.length < size ? h.length : size;
    Take(buffer, copied);
    Take(nullptr, h.length - copied);
    if (type)
        *type = h.type;
    return static_cast<long>(copied);
}

void CyclicQueue::Close() {
    ThreadMutexLock hold(mLock);
    mClosed = true;
    mReady.Broadcast();
}
