#include "platform/msg/MessageQueueClient.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/msg/MessagingError.h"
#include "platform/msg/QueueAddress.h"
#include "platform/msg/WireFormat.h"

MessageQueueClient::MessageQueueClient(int queueId) : mPath(QueueAddress::PathOf(queueId)) {}

MessageQueueClient::~MessageQueueClient() {
    if (mFd >= 0)
        close(mFd);
}

void MessageQueueClient::Fail(const std::string& what) const {
    throw MessagingError(mPath + ": " + what);
}

void MessageQueueClient::Connect() {
    if (mFd >= 0)
        return;
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (mPath.size() >= sizeof addr.sun_path)
        Fail("socket path too long");
    std::memcpy(addr.sun_path, mPath.c_str(), mPath.size() + 1);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        Fail(std::string("socket: ") + strerror(errno));
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int err = errno;
        close(fd);
        Fail(std::string("connect: ") + strerror(err));
    }
    mFd = fd;
}

void MessageQueueClient::Send(const WireMessage& message) {
    mBuffer.clear();
    WireFormat::Encode(message, &mBuffer);
    SendBytes(mBuffer);
}

void MessageQueueClient::SendBytes(const std::string& datagram) {
    if (mFd < 0)
        Fail("not connected");
    for (;;) {
        ssize_t n = send(mFd, datagram.data(), datagram.size(), MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(datagram.size()))
            return;
        if (n < 0 && errno == EINTR)
            continue;
        Fail(std::string("send: ") + (n < 0 ? strerror(errno) : "datagram cut short"));
    }
}

bool MessageQueueClient::Receive(WireMessage* message, int timeoutMs) {
    if (mFd < 0)
        Fail("not connected");
    pollfd p{mFd, POLLIN, 0};
    int rc;
    do {
        rc = poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        Fail(std::string("poll: ") + strerror(errno));
    if (rc == 0)
        return false;
    std::vector<unsigned char> buf(WireFormat::kMaxAnswer + 1);
    ssize_t n = recv(mFd, buf.data(), buf.size(), MSG_TRUNC);
    if (n < 0)
        Fail(std::string("recv: ") + strerror(errno));
    if (n == 0)
        Fail("the daemon closed the connection");
    if (static_cast<size_t>(n) > WireFormat::kMaxAnswer)
        Fail("answer longer than any message");
    if (const char* why = WireFormat::Decode(buf.data(), static_cast<size_t>(n), message))
        Fail(std::string("bad answer: ") + why);
    return true;
}
