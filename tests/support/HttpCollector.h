#pragma once
// A statistics collector for the tests: an HTTP server on loopback that
// keeps the body of every request it answers. It can be taken down (the
// port refuses connections) and brought up again on the same port, or made
// to hang (read the request, never answer, and note when the client gives
// up). One connection at a time, served on a thread of its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace testing_support {

class HttpCollector {
public:
    enum Mode { kAnswer, kHang };

    HttpCollector() {
        Listen(0);
        mThread = std::thread([this] { Serve(); });
    }
    ~HttpCollector() {
        mStop = true;
        mThread.join();
        if (mListenFd >= 0)
            close(mListenFd);
    }
    int Port() const { return mPort; }
    void SetMode(Mode mode) { mMode = mode; }
    // Down: connections are refused until Up.
    void Down() {
        std::lock_guard<std::mutex> hold(mLock);
        close(mListenFd);
        mListenFd = -1;
    }
    void Up() {
        std::lock_guard<std::mutex> hold(mLock);
        Listen(mPort);
    }
    std::string Bodies() {
        std::lock_guard<std::mutex> hold(mLock);
        return mBodies;
    }
    int Uploads() const { return mUploads; }
    int Abandoned() const { return mAbandoned; }

private:
    void Listen(int port) {
        mListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(mListenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        if (bind(mListenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(mListenFd, 4) != 0)
            abort();
        socklen_t len = sizeof addr;
        getsockname(mListenFd, reinterpret_cast<sockaddr*>(&addr), &len);
        mPort = ntohs(addr.sin_port);
    }
    void Serve() {
        while (!mStop) {
            int fd = -1;
            {
                std::lock_guard<std::mutex> hold(mLock);
                if (mListenFd >= 0) {
                    pollfd p = {mListenFd, POLLIN, 0};
                    if (poll(&p, 1, 0) == 1)
                        fd = accept(mListenFd, nullptr, nullptr);
                }
            }
            if (fd < 0) {
                usleep(10000);
                continue;
            }
            Handle(fd);
            close(fd);
        }
    }
    // Reads one request; the body follows the headers, Content-Length long.
    void Handle(int fd) {
        std::string in;
        size_t bodyAt = std::string::npos, length = 0;
        char buf[65536];
        while (bodyAt == std::string::npos || in.size() < bodyAt + length) {
            if (!Readable(fd))
                return;
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                return;
            in.append(buf, static_cast<size_t>(n));
            if (bodyAt == std::string::npos &&
                (bodyAt = in.find("\r\n\r\n")) != std::string::npos) {
                bodyAt += 4;
                const size_t h = in.find("Content-Length: ");
                length = h < bodyAt ? std::strtoul(in.c_str() + h + 16, nullptr, 10) : 0;
            }
        }
        if (mMode == kHang) {
            while (!mStop && Readable(fd)) {
                if (read(fd, buf, sizeof buf) <= 0) {
                    ++mAbandoned;
                    return;
                }
            }
            return;
        }
        {
            std::lock_guard<std::mutex> hold(mLock);
            mBodies += in.substr(bodyAt, length);
        }
        ++mUploads;
        const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        if (write(fd, reply, sizeof reply - 1) < 0)
            return;
    }
    // Waits until FD has data or is closed; false when stopping.
    bool Readable(int fd) {
        while (!mStop) {
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 100) == 1)
                return true;
        }
        return false;
    }

    std::mutex mLock;  // guards mListenFd and mBodies
    int mListenFd = -1;
    int mPort = 0;
    std::string mBodies;
    std::atomic<int> mUploads{0};
    std::atomic<int> mAbandoned{0};
    std::atomic<Mode> mMode{kAnswer};
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

}  // namespace testing_support
