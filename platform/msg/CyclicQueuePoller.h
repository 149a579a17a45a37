#pragma once

#include <poll.h>

#include <cstddef>
#include <vector>

class CyclicMessageQueue;

// Waits until one of the selected queues has an event to handle.
//
// SelectQueue adds a queue number and opens the socket of the queue's
// receiver (the CyclicMessageQueue constructed for that number). A queue
// whose socket cannot be opened yet, or that has no receiver yet, stays
// selected: the wait tries again every second and reports the failure to the
// system log once. PROGRAM and the two flags are accepted for the device
// library's signature and have no effect; MAX_QUEUES bounds how many queues
// may be selected.
//
// Use from one thread, the one that calls ProcessMessageFromQueue.
class CyclicQueuePoller {
public:
    explicit CyclicQueuePoller(int maxQueues);
    virtual ~CyclicQueuePoller();
    CyclicQueuePoller(const CyclicQueuePoller&) = delete;
    CyclicQueuePoller& operator=(const CyclicQueuePoller&) = delete;

    // 1 when the queue is selected and listening, 0 otherwise.
    int SelectQueue(int queueId, const char* program, bool option1, bool option2);

    // Blocks until a selected queue has an event (a message, a connect or a
    // close) and returns its number; queues with events take turns, and new
    // events of every queue are looked for at least every 16 events handed
    // out. Returns -1 when the wait itself fails. Signals do not end the wait.
    virtual int WaitForEvents();

    // Forgets every selected queue.
    void Release();

    // ROUTINE(DATA) runs each time the wait is about to block, when every
    // event seen so far has been handled: for work that serves all the
    // events of one wake-up at once. Null: none.
    void SetBeforeWait(void (*routine)(void*), void* data) {
        mpBeforeWait = routine;
        mpBeforeWaitData = data;
    }

private:
    struct Watched {
        CyclicMessageQueue* queue;
        size_t first;  // its first descriptor in mFds
    };

    size_t mMaxQueues;
    std::vector<int> mQueues;
    size_t mNextQueue = 0;
    std::vector<pollfd> mFds;  // kept between waits: a wait allocates nothing
    std::vector<Watched> mWatched;
    static constexpr int kServedBetweenLooks = 16;
    int mServed = 0;  // events handed out since the last poll
    void (*mpBeforeWait)(void*) = nullptr;
    void* mpBeforeWaitData = nullptr;
};
