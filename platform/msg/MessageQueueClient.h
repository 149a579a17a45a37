#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/msg/WireMessage.h"

// The sending side of a queue: what call control uses to send reports and
// what the web side uses to send commands and wait for their answers.
//
// One connection to the socket of queue N, made by Connect and ended by the
// destructor (the daemon then sees the party go away). Nothing throws: an
// operation that fails returns false (or Receipt::kFailed) and leaves in
// Error() the socket path and the system's error text; a text longer than
// WireFormat::kMaxText is refused, naming its field, before anything is
// sent. One object per thread.
class MessageQueueClient {
public:
    explicit MessageQueueClient(int queueId);
    ~MessageQueueClient();
    MessageQueueClient(const MessageQueueClient&) = delete;
    MessageQueueClient& operator=(const MessageQueueClient&) = delete;

    // Connects to the queue's socket: not in a queue directory that others
    // may write, nor to a listener who may not make files there.
    bool Connect();
    // Takes FD, a connected socket of the queues' kind (one end of a socket
    // pair to a program that answers as the daemon would), in place of
    // Connect; the object owns it from now on. NAME stands for the socket's
    // path in errors.
    void Adopt(int fd, const std::string& name);
    // Sends one message; blocks while the daemon's socket buffer is full.
    bool Send(const WireMessage& message);
    // Sends raw bytes as one datagram, for tests of damaged input.
    bool SendBytes(const std::string& datagram);
    enum class Receipt { kMessage, kTimedOut, kFailed };
    // Waits up to TIMEOUT_MS for one message. kFailed when the daemon closed
    // the connection or sent something that does not decode.
    Receipt Receive(WireMessage* message, int timeoutMs);
    // The same, with the datagram as it came, not decoded: at most
    // WireFormat::kMaxAnswer bytes in the object, which *DATAGRAM views
    // until the next receipt.
    Receipt ReceiveBytes(std::string_view* datagram, int timeoutMs);
    // Ends the sending and waits up to TIMEOUT_MS for the daemon to end the
    // connection, which it does once it has handled every message sent;
    // false when it closed the connection before, or did not end it.
    bool Finish(int timeoutMs);

    const std::string& Path() const { return mPath; }
    // Why the last operation that failed did.
    const std::string& Error() const { return mError; }

private:
    // The path, then WHAT, MORE and REST joined, in Error().
    bool Fail(const char* what, const char* more = "", const char* rest = "");
    Receipt Failed(const char* what, const char* more = "");

    std::string mPath;
    int mFd = -1;
    std::string mBuffer;
    std::unique_ptr<char[]> mReceived;  // the last answer; made at the first
    std::string mError;
};
