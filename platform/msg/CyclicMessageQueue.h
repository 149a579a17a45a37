#pragma once

#include <poll.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/msg/WireFormat.h"
#include "platform/msg/WireMessage.h"

class CyclicQueuePoller;

// The receiving end of one message queue: the listening socket of queue N
// (see QueueAddress) and the parties connected to it.
//
// A connection is a party: its connect and its close are events, handed to
// OnPartyStateChanged; each datagram it sends is an event, decoded and handed
// to Dispatch. A party's messages are handled in the order sent, and all of
// them before its close. A datagram that does not decode, or that this queue
// does not take, is counted, reported to the system log (at most once a
// second per queue, with the number left out) and dropped, and its party is
// closed; other parties go on being served. Parties are served in turn, one
// datagram at a time, so a flooding party gets its share and no more, and
// unread data stays in the kernel's bounded socket buffers. A party that
// gave a message stays ready until a read finds nothing more, so the wait
// comes only once everything that arrived has been handled.
//
// Constructing an object registers it as the receiver of its queue number
// (the newest living object of a number receives); CyclicQueuePoller finds it there and opens its
// socket. Everything else happens on the thread that runs the poller and
// ProcessMessageFromQueue; handlers run inside ProcessMessageFromQueue.
class CyclicMessageQueue {
public:
    struct Counters {
        uint64_t mMessages = 0;        // handed to a handler
        uint64_t mBadMessages = 0;     // refused, with their party closed
        uint64_t mPartiesRefused = 0;  // connections beyond kMaxParties
        uint64_t mAnswersDropped = 0;  // answers that no party could take
    };
    static constexpr size_t kMaxParties = 32;

    explicit CyclicMessageQueue(int queueId);
    // Not noexcept: the program's main object derives from this class, and
    // an exception from its teardown must reach main's abort report.
    virtual ~CyclicMessageQueue() noexcept(false);
    CyclicMessageQueue(const CyclicMessageQueue&) = delete;
    CyclicMessageQueue& operator=(const CyclicMessageQueue&) = delete;

    int GetQueueId() const { return mQueueId; }
    // Handles up to MAX_EVENTS events that the poller has seen (a message, a
    // connect, a close). Returns how many were handled.
    int ProcessMessageFromQueue(int maxEvents);
    const Counters& GetCounters() const { return mCounters; }
    // Why the queue does not listen; empty while it does. The queue
    // directory ($MSGQ_DIR) is made 0770 when missing, and refused when it
    // is a link, is another user's (but root's), or others may write it:
    // whoever may write there could take the queue's name first.
    const std::string& OpenFailure() const { return mOpenFailure; }

protected:
    // Hands one decoded message to its handler. Returns false when this queue
    // does not take messages of that type; the message then counts as bad.
    virtual bool Dispatch(const WireMessage& message) = 0;
    virtual void OnPartyStateChanged(bool connected) = 0;

    // Sends ANSWER to the party whose message is being dispatched, without
    // blocking. A party that does not read its answers until its buffer is
    // full is closed. Returns 1 when sent, 0 when dropped.
    int SendAnswer(const WireMessage& answer);

private:
    friend class CyclicQueuePoller;
    struct Party {
        int mFd;
        bool mReady;    // the poller saw data or a hang-up
        bool mClosing;  // close once its message is handled
    };

    static CyclicMessageQueue* Find(int queueId);
    bool Open();
    // The steps of Open; each returns what went wrong, "" when nothing did.
    // CheckDirectory makes the queue directory when missing.
    static std::string CheckDirectory(const std::string& dir);
    static std::string ClearPath(const std::string& path, const struct sockaddr_un& addr);
    static std::string Listen(const struct sockaddr_un& addr, int* listenFd);
    bool IsOpen() const { return mListenFd >= 0; }
    bool HasPendingEvent() const;
    void CollectPollFds(std::vector<pollfd>* fds) const;
    void MarkReady(const pollfd* fds);  // as many as CollectPollFds gave

    bool HandleOneEvent();
    bool Receive(size_t index);
    bool Accept();
    void Refuse(size_t index, const char* why);
    void DropParty(size_t index);
    void Report(const std::string& what);

    const int mQueueId;
    int mListenFd = -1;
    bool mListenReady = false;
    std::string mPath;  // of the bound socket, removed on destruction
    std::vector<Party> mParties;
    size_t mNextParty = 0;
    long mCurrent = -1;  // index of the party whose message is being dispatched
    Counters mCounters;
    time_t mLastReport = 0;
    unsigned long mUnreported = 0;
    std::string mOpenFailure;  // why the last Open failed; reported once
    unsigned char mBuffer[WireFormat::kMaxMessage + 1];
};
