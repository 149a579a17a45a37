#include "platform/sys/System.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cstdio>
#include <cstring>

namespace {

System gReal;  // no state: usable from static constructors and destructors
System* gSystem = &gReal;

}  // namespace

int System::Open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
int System::OpenAt(int dirFd, const char* name, int flags, mode_t mode) {
    return ::openat(dirFd, name, flags, mode);
}
ssize_t System::Read(int fd, void* buf, size_t count) {
    return ::read(fd, buf, count);
}
ssize_t System::Write(int fd, const void* buf, size_t count) {
    return ::write(fd, buf, count);
}
ssize_t System::Writev(int fd, const struct iovec* iov, int count) {
    return ::writev(fd, iov, count);
}
int System::Fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int System::Lstat(const char* path, struct stat* st) {
    return ::lstat(path, st);
}
int System::Chmod(const char* path, mode_t mode) {
    return ::chmod(path, mode);
}
int System::Fsync(int fd) {
    return ::fsync(fd);
}
int System::Fdatasync(int fd) {
    return ::fdatasync(fd);
}
int System::Ftruncate(int fd, off_t length) {
    return ::ftruncate(fd, length);
}
int System::Close(int fd) {
    return ::close(fd);
}
int System::Rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int System::Link(const char* from, const char* to) {
    return ::link(from, to);
}
int System::Unlink(const char* path) {
    return ::unlink(path);
}
int System::Mkdir(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}
int System::Fcntl(int fd, int command, struct flock* lock) {
    return ::fcntl(fd, command, lock);
}
int System::FcntlInt(int fd, int command, int argument) {
    return ::fcntl(fd, command, argument);
}
int System::ClockGettime(clockid_t clock, struct timespec* now) {
    return ::clock_gettime(clock, now);
}
pid_t System::Fork() {
    return ::fork();
}
int System::Poll(struct pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}
int System::Pipe2(int fds[2], int flags) {
    return ::pipe2(fds, flags);
}
void* System::Mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    return ::mmap(address, length, protection, flags, fd, offset);
}
int System::Munmap(void* address, size_t length) {
    return ::munmap(address, length);
}
int System::Socket(int domain, int type, int protocol) {
    return ::socket(domain, type, protocol);
}
int System::Socketpair(int domain, int type, int protocol, int fds[2]) {
    return ::socketpair(domain, type, protocol, fds);
}
int System::Bind(int fd, const struct sockaddr* address, socklen_t size) {
    return ::bind(fd, address, size);
}
int System::Listen(int fd, int backlog) {
    return ::listen(fd, backlog);
}
int System::Accept4(int fd, struct sockaddr* address, socklen_t* size, int flags) {
    return ::accept4(fd, address, size, flags);
}
int System::Connect(int fd, const struct sockaddr* address, socklen_t size) {
    return ::connect(fd, address, size);
}
ssize_t System::Send(int fd, const void* buf, size_t count, int flags) {
    return ::send(fd, buf, count, flags);
}
ssize_t System::Recv(int fd, void* buf, size_t count, int flags) {
    return ::recv(fd, buf, count, flags);
}
int System::Getsockopt(int fd, int level, int name, void* value, socklen_t* size) {
    return ::getsockopt(fd, level, name, value, size);
}
int System::Setsockopt(int fd, int level, int name, const void* value, socklen_t size) {
    return ::setsockopt(fd, level, name, value, size);
}
int System::Shutdown(int fd, int how) {
    return ::shutdown(fd, how);
}
int System::Nanosleep(const struct timespec* request, struct timespec* remaining) {
    return ::nanosleep(request, remaining);
}
mode_t System::Umask(mode_t mask) {
    return ::umask(mask);
}
int System::Kill(pid_t pid, int signal) {
    return ::kill(pid, signal);
}
int System::Setpgid(pid_t pid, pid_t group) {
    return ::setpgid(pid, group);
}
pid_t System::Waitpid(pid_t pid, int* status, int options) {
    return ::waitpid(pid, status, options);
}
int System::Waitid(idtype_t type, id_t id, siginfo_t* info, int options) {
    return ::waitid(type, id, info, options);
}

bool System::MonotonicMs(int64_t* ms) {
    struct timespec now;
    if (ClockGettime(CLOCK_MONOTONIC, &now) != 0)
        return false;
    *ms = int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
    return true;
}

void System::SleepMs(int64_t ms) {
    struct timespec left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (left.tv_sec > 0 || left.tv_nsec > 0) {
        if (Nanosleep(&left, &left) == 0 || errno != EINTR)
            return;
    }
}

bool System::WriteAll(int fd, const struct iovec* given, int count) {
    assert(count >= 0 && count <= kMaxPieces);
    // A short write leaves a tail to go on from: work on a copy.
    struct iovec pieces[kMaxPieces];
    std::memcpy(pieces, given, sizeof(struct iovec) * static_cast<size_t>(count));
    struct iovec* next = pieces;
    while (count > 0) {
        const ssize_t n = Writev(fd, next, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        size_t done = static_cast<size_t>(n);
        while (count > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    return true;
}

bool System::WriteAll(int fd, const void* data, size_t size) {
    const struct iovec piece = {const_cast<void*>(data), size};  // only read
    return WriteAll(fd, &piece, 1);
}

System& System::Default() {
    return *gSystem;
}

#ifndef CDR_FIXED_SYSTEM
void System::Set(System* system) {
    gSystem = system ? system : &gReal;
}
#endif
