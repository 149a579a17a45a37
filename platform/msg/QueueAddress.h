#pragma once

#include <string>

// Where the sockets of the message queues live.
//
// Queue N is the Unix-domain SOCK_SEQPACKET socket DIR/qN, DIR being
// $MSGQ_DIR or /var/run/msgq. The environment is read at each call.
class QueueAddress {
public:
    static constexpr int kCallControlQueue = 15;  // reports
    static constexpr int kWebQueue = 111;         // commands and their answers

    static std::string Directory();
    static std::string PathOf(int queueId);
};
