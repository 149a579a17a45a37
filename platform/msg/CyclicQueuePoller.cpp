#include "platform/msg/CyclicQueuePoller.h"

#include <errno.h>

#include <algorithm>

#include "platform/msg/CyclicMessageQueue.h"
#include "platform/sys/System.h"

CyclicQueuePoller::CyclicQueuePoller(int maxQueues)
    : mMaxQueues(maxQueues > 0 ? static_cast<size_t>(maxQueues) : 0) {}

CyclicQueuePoller::~CyclicQueuePoller() = default;

int CyclicQueuePoller::SelectQueue(int queueId, const char*, bool, bool) {
    if (std::find(mQueues.begin(), mQueues.end(), queueId) == mQueues.end()) {
        if (mQueues.size() >= mMaxQueues)
            return 0;
        mQueues.push_back(queueId);
    }
    CyclicMessageQueue* queue = CyclicMessageQueue::Find(queueId);
    return queue && queue->Open() ? 1 : 0;
}

void CyclicQueuePoller::Release() {
    mQueues.clear();
    mNextQueue = 0;
}

int CyclicQueuePoller::WaitForEvents() {
    for (;;) {
        // Events seen by the last poll and not handled yet come first, in
        // turn; after a few of them a look without waiting lets the other
        // queues' new events in, so that no queue waits for another's flood.
        bool pending = false;
        const size_t n = mQueues.size();
        for (size_t k = 0; k < n && !pending; ++k) {
            size_t i = (mNextQueue + k) % n;
            CyclicMessageQueue* queue = CyclicMessageQueue::Find(mQueues[i]);
            if (queue && queue->HasPendingEvent()) {
                if (mServed < kServedBetweenLooks) {
                    ++mServed;
                    mNextQueue = i + 1;
                    return mQueues[i];
                }
                pending = true;
            }
        }
        mServed = 0;
        mFds.clear();
        mWatched.clear();
        bool retry = false;
        for (int id : mQueues) {
            CyclicMessageQueue* queue = CyclicMessageQueue::Find(id);
            if (!queue || !queue->Open()) {
                retry = true;
                continue;
            }
            mWatched.push_back(Watched{queue, mFds.size()});
            queue->CollectPollFds(&mFds);
        }
        if (!pending && mpBeforeWait)
            mpBeforeWait(mpBeforeWaitData);
        int rc = System::Default().Poll(mFds.data(), mFds.size(), pending ? 0 : retry ? 1000 : -1);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        for (const Watched& w : mWatched) w.queue->MarkReady(&mFds[w.first]);
    }
}
