#include "platform/msg/MessageQueueClient.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cassert>
#include <cstring>
#include <memory>

#include "platform/msg/QueueAddress.h"
#include "platform/msg/WireFormat.h"
#include "platform/sys/System.h"
#include "platform/util/DecimalText.h"

MessageQueueClient::MessageQueueClient(int queueId) : mPath(QueueAddress::PathOf(queueId)) {}

MessageQueueClient::~MessageQueueClient() {
    if (mFd >= 0)
        System::Default().Close(mFd);
}

bool MessageQueueClient::Fail(const char* what, const char* more, const char* rest) {
    mError.clear();  // not assigned: see TextPieces.h (cdrweb links this)
    mError.append(mPath).append(": ").append(what).append(more).append(rest);
    return false;
}

MessageQueueClient::Receipt MessageQueueClient::Failed(const char* what, const char* more) {
    Fail(what, more);
    return Receipt::kFailed;
}

bool MessageQueueClient::Connect() {
    if (mFd >= 0)
        return true;
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (mPath.size() >= sizeof addr.sun_path)
        return Fail("socket path too long");
    std::memcpy(addr.sun_path, mPath.c_str(), mPath.size() + 1);
    // Where others may write, anyone may have taken the queue's name: what
    // is sent there could go to them.
    struct stat dir;
    const std::string directory = QueueAddress::Directory();
    if (System::Default().Lstat(directory.c_str(), &dir) == 0 &&
        (!S_ISDIR(dir.st_mode) || (dir.st_mode & S_IWOTH)))
        return Fail("the queue directory ", directory.c_str(),
                    S_ISDIR(dir.st_mode) ? " is writable by others: nothing is sent there"
                                         : " is not a directory: nothing is sent there");
    int fd = System::Default().Socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Fail("socket: ", strerror(errno));
    if (System::Default().Connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int err = errno;
        System::Default().Close(fd);
        return Fail("connect: ", strerror(err));
    }
    // The listener must be one who may make files there: root, the
    // directory's owner, or its group where the group may write.
    struct ucred peer;
    socklen_t size = sizeof peer;
    if (System::Default().Getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
        peer.uid != 0 && peer.uid != dir.st_uid &&
        !((dir.st_mode & S_IWGRP) && peer.gid == dir.st_gid)) {
        System::Default().Close(fd);
        char uid[DecimalText::kMaxText], pid[DecimalText::kMaxText];
        DecimalText::WriteUnsigned(peer.uid, uid);
        DecimalText::Write(peer.pid, pid);
        Fail("held by user ", uid, " (pid ");
        mError.append(pid).append("), who may not make files in ").append(directory);
        return false;
    }
    mFd = fd;
    return true;
}

void MessageQueueClient::Adopt(int fd, const std::string& name) {
    assert(mFd < 0);  // one connection in the object's life
    mFd = fd;
    mPath = name;
}

bool MessageQueueClient::Finish(int timeoutMs) {
    if (mFd < 0)
        return Fail("not connected");
    // The daemon closes a party once it has handled all it sent; a party it
    // closed unread (beyond its limit of parties) gets ECONNRESET.
    System::Default().Shutdown(mFd, SHUT_WR);
    for (;;) {
        pollfd p{mFd, POLLIN, 0};
        int rc;
        do {
            rc = System::Default().Poll(&p, 1, timeoutMs);
        } while (rc < 0 && errno == EINTR);
        if (rc == 0)
            return Fail("the daemon did not end the connection in time");
        char byte;
        const ssize_t n = rc < 0 ? -1 : System::Default().Recv(mFd, &byte, 1, 0);
        if (n == 0)
            return true;
        if (n < 0 && errno == ECONNRESET)
            return Fail("the daemon closed the connection before it took every message");
        if (n < 0)
            return Fail("recv: ", strerror(errno));
    }
}

bool MessageQueueClient::Send(const WireMessage& message) {
    mBuffer.clear();
    if (!WireFormat::Encode(message, &mBuffer, &mError))
        return false;  // names the field, not the socket: nothing was sent
    return SendBytes(mBuffer);
}

bool MessageQueueClient::SendBytes(const std::string& datagram) {
    if (mFd < 0)
        return Fail("not connected");
    for (;;) {
        ssize_t n = System::Default().Send(mFd, datagram.data(), datagram.size(), MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(datagram.size()))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return Fail("send: ", n < 0 ? strerror(errno) : "datagram cut short");
    }
}

MessageQueueClient::Receipt MessageQueueClient::Receive(WireMessage* message, int timeoutMs) {
    std::string_view datagram;
    const Receipt receipt = ReceiveBytes(&datagram, timeoutMs);
    if (receipt != Receipt::kMessage)
        return receipt;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(datagram.data());
    if (const char* why = WireFormat::Decode(bytes, datagram.size(), message))
        return Failed("bad answer: ", why);
    return Receipt::kMessage;
}

MessageQueueClient::Receipt MessageQueueClient::ReceiveBytes(std::string_view* datagram,
                                                             int timeoutMs) {
    if (mFd < 0)
        return Failed("not connected");
    pollfd p{mFd, POLLIN, 0};
    int rc;
    do {
        rc = System::Default().Poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return Failed("poll: ", strerror(errno));
    if (rc == 0)
        return Receipt::kTimedOut;
    // One byte more than any answer, to tell a longer datagram. Not zeroed:
    // recv fills what the answer holds, and no more is read.
    if (!mReceived)
        mReceived.reset(new char[WireFormat::kMaxAnswer + 1]);
    ssize_t n = System::Default().Recv(mFd, mReceived.get(), WireFormat::kMaxAnswer + 1, MSG_TRUNC);
    if (n < 0)
        return Failed("recv: ", strerror(errno));
    if (n == 0)
        return Failed("the daemon closed the connection");
    if (static_cast<size_t>(n) > WireFormat::kMaxAnswer)
        return Failed("answer longer than any message");
    *datagram = std::string_view(mReceived.get(), static_cast<size_t>(n));
    return Receipt::kMessage;
}
