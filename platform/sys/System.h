#pragma once

#include <poll.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>

// The calls the daemon and its libraries make on files, clocks and
// processes, behind one seam (as LevelDB's Env and SQLite's system-call
// table are), so that a test can fail any of them with any error, move the
// daemon's fixed paths under a directory of its own, or set the clock, for
// the whole process and without root.
//
// Each operation mirrors its POSIX namesake: the same arguments, the same
// result, errno set on failure. The base class makes the real calls; a test
// derives, overrides what it wants and installs its object with Set. The
// real calls are async-signal-safe where their namesakes are, so the crash
// guard's signal handler goes through the seam as well; a test's override
// used there must be too. Default() is the instance in force; Set it before
// other threads start, and not while any call is under way.
class System {
public:
    virtual ~System() = default;

    // Files.
    virtual int Open(const char* path, int flags, mode_t mode);
    virtual int OpenAt(int dirFd, const char* name, int flags, mode_t mode);
    virtual ssize_t Read(int fd, void* buf, size_t count);
    virtual ssize_t Write(int fd, const void* buf, size_t count);
    virtual ssize_t Writev(int fd, const struct iovec* iov, int count);
    virtual int Fstat(int fd, struct stat* st);
    virtual int Lstat(const char* path, struct stat* st);
    virtual int Chmod(const char* path, mode_t mode);
    virtual int Fsync(int fd);
    virtual int Fdatasync(int fd);
    virtual int Ftruncate(int fd, off_t length);
    virtual int Close(int fd);
    virtual int Rename(const char* from, const char* to);
    virtual int Link(const char* from, const char* to);
    virtual int Unlink(const char* path);
    virtual int Mkdir(const char* path, mode_t mode);
    // Record locks only (F_SETLK, F_GETLK and the like).
    virtual int Fcntl(int fd, int command, struct flock* lock);
    // The commands with a number: F_DUPFD, F_SETFL and the like.
    virtual int FcntlInt(int fd, int command, int argument);
    virtual int Poll(struct pollfd* fds, nfds_t count, int timeoutMs);
    virtual int Pipe2(int fds[2], int flags);
    virtual void* Mmap(void* address, size_t length, int protection, int flags, int fd,
                       off_t offset);
    virtual int Munmap(void* address, size_t length);

    // Sockets (the queues and the system log are local sockets).
    virtual int Socket(int domain, int type, int protocol);
    virtual int Socketpair(int domain, int type, int protocol, int fds[2]);
    virtual int Bind(int fd, const struct sockaddr* address, socklen_t size);
    virtual int Listen(int fd, int backlog);
    virtual int Accept4(int fd, struct sockaddr* address, socklen_t* size, int flags);
    virtual int Connect(int fd, const struct sockaddr* address, socklen_t size);
    virtual ssize_t Send(int fd, const void* buf, size_t count, int flags);
    virtual ssize_t Recv(int fd, void* buf, size_t count, int flags);
    virtual int Getsockopt(int fd, int level, int name, void* value, socklen_t* size);
    virtual int Setsockopt(int fd, int level, int name, const void* value, socklen_t size);
    virtual int Shutdown(int fd, int how);

    // Clocks.
    virtual int ClockGettime(clockid_t clock, struct timespec* now);
    virtual int Nanosleep(const struct timespec* request, struct timespec* remaining);
    // The monotonic clock in milliseconds, read through ClockGettime; false
    // when it cannot be read.
    bool MonotonicMs(int64_t* ms);
    // Sleeps MS milliseconds through Nanosleep, on after interruptions.
    void SleepMs(int64_t ms);

    // Processes.
    virtual pid_t Fork();
    virtual int Kill(pid_t pid, int signal);
    virtual int Setpgid(pid_t pid, pid_t group);
    virtual pid_t Waitpid(pid_t pid, int* status, int options);
    virtual int Waitid(idtype_t type, id_t id, siginfo_t* info, int options);
    // The file-creation mask: sets MASK, gives the one before.
    virtual mode_t Umask(mode_t mask);

    // Writes all of PIECES (COUNT of them, at most kMaxPieces) to FD: goes on
    // after a short write and retries when interrupted. False, with errno
    // set, when a write fails. The one write loop of the program; safe in a
    // signal handler.
    static constexpr int kMaxPieces = 1024;
    bool WriteAll(int fd, const struct iovec* pieces, int count);
    bool WriteAll(int fd, const void* data, size_t size);

    // The instance in force, and its replacement (null: the real calls).
    static System& Default();
    static void Set(System* system);
};
