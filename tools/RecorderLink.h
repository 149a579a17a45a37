#pragma once

#include <string>

#include "platform/msg/AnswerViews.h"
#include "platform/msg/MessageQueueClient.h"
#include "platform/msg/QueueAddress.h"
#include "platform/msg/WireMessage.h"

// The web side's conversation with cdrd on its command queue (111), as
// cdrctl and cdrweb hold it: connect, send a command, wait for its answer.
//
// Each call returns false on failure and leaves a sentence for a person in
// Error(): cdrd cannot be reached or dropped the connection (Unreachable()
// is then true), gave no answer within the time limit, or answered with
// something else. Nothing throws. One object per thread; the connection ends with the object.
class RecorderLink {
public:
    explicit RecorderLink(int timeoutMs)
        : mTimeoutMs(timeoutMs), mClient(QueueAddress::kWebQueue) {}

    bool Connect();
    // Talks to a program that answers as cdrd would, on FD (see
    // MessageQueueClient::Adopt), in place of Connect.
    void Adopt(int fd, const std::string& name) { mClient.Adopt(fd, name); }
    // Sends a command that has no answer (the download commands).
    bool Send(const WireMessage& request);
    // Sends REQUEST and waits for an answer of type EXPECTED into *ANSWER.
    bool Ask(const WireMessage& request, WireMessage::Type expected, WireMessage* answer);
    // Asks for the status into *STATUS.
    bool Status(RecorderStatus* status);
    // Reads the records of QUERY into *PAGE: all mLimit of them, or up to
    // the end, over as many answers as they take. The counts are the first
    // answer's.
    bool Read(const RecordQuery& query, RecordPage* page);
    // The same without copies: the status as a view of *ANSWER, which it
    // fills; the records in a list of the answers' bytes.
    bool ReadStatus(std::string* answer, StatusView* status);
    bool ReadList(const RecordQuery& query, RecordList* list);

    const std::string& Error() const { return mError; }
    bool Unreachable() const { return mUnreachable; }

private:
    // Ask with the command as WireFormat encodes it, and the answer's
    // datagram as it came, its header checked, viewed until the next answer.
    bool AskBytes(const std::string& command, WireMessage::Type expected, std::string_view* answer);
    // False, once Error() says why; UNREACHABLE tells whether the
    // connection is lost.
    bool Failed(bool unreachable);
    // The connection's own error.
    bool LinkFailed();
    // An answer that does not decode, for WHY: the party is not cdrd.
    bool BadAnswer(const char* why);

    int mTimeoutMs;
    MessageQueueClient mClient;
    std::string mError;
    bool mUnreachable = false;
};
