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
//
// A program that links its own copy of this code and never replaces it
// (cdrweb, which tests run as a whole process) may be built with
// CDR_FIXED_SYSTEM: the operations are then plain calls, with no table of
// them, so only those it makes are linked (on the device, each operation
// in the table pulled in its C library function, called or not), and there
// is no Set.
#ifdef CDR_FIXED_SYSTEM
#define CDR_SEAM
#else
#define CDR_SEAM virtual
#endif
class System {
public:
    CDR_SEAM ~System() = default;

    // Files.
    CDR_SEAM int Open(const char* path, int flags, mode_t mode);
    CDR_SEAM int OpenAt(int dirFd, const char* name, int flags, mode_t mode);
    CDR_SEAM ssize_t Read(int fd, void* buf, size_t count);
    CDR_SEAM ssize_t Write(int fd, const void* buf, size_t count);
    CDR_SEAM ssize_t Writev(int fd, const struct iovec* iov, int count);
    CDR_SEAM int Fstat(int fd, struct stat* st);
    CDR_SEAM int Lstat(const char* path, struct stat* st);
    CDR_SEAM int Chmod(const char* path, mode_t mode);
    CDR_SEAM int Fsync(int fd);
    CDR_SEAM int Fdatasync(int fd);
    CDR_SEAM int Ftruncate(int fd, off_t length);
    CDR_SEAM int Close(int fd);
    CDR_SEAM int Rename(const char* from, const char* to);
    CDR_SEAM int Link(const char* from, const char* to);
    CDR_SEAM int Unlink(const char* path);
    CDR_SEAM int Mkdir(const char* path, mode_t mode);
    // Record locks only (F_SETLK, F_GETLK and the like).
    CDR_SEAM int Fcntl(int fd, int command, struct flock* lock);
    // The commands with a number: F_DUPFD, F_SETFL and the like.
    CDR_SEAM int FcntlInt(int fd, int command, int argument);
    CDR_SEAM int Poll(struct pollfd* fds, nfds_t count, int timeoutMs);
    CDR_SEAM int Pipe2(int fds[2], int flags);
    CDR_SEAM void* Mmap(void* address, size_t length, int protection, int flags, int fd,
                        off_t offset);
    CDR_SEAM int Munmap(void* address, size_t length);

    // Sockets (the queues and the system log are local sockets).
    CDR_SEAM int Socket(int domain, int type, int protocol);
    CDR_SEAM int Socketpair(int domain, int type, int protocol, int fds[2]);
    CDR_SEAM int Bind(int fd, const struct sockaddr* address, socklen_t size);
    CDR_SEAM int Listen(int fd, int backlog);
    CDR_SEAM int Accept4(int fd, struct sockaddr* address, socklen_t* size, int flags);
    CDR_SEAM int Connect(int fd, const struct sockaddr* address, socklen_t size);
    CDR_SEAM ssize_t Send(int fd, const void* buf, size_t count, int flags);
    CDR_SEAM ssize_t Recv(int fd, void* buf, size_t count, int flags);
    CDR_SEAM int Getsockopt(int fd, int level, int name, void* value, socklen_t* size);
    CDR_SEAM int Setsockopt(int fd, int level, int name, const void* value, socklen_t size);
    CDR_SEAM int Shutdown(int fd, int how);

    // Clocks.
    CDR_SEAM int ClockGettime(clockid_t clock, struct timespec* now);
    CDR_SEAM int Nanosleep(const struct timespec* request, struct timespec* remaining);
    // The monotonic clock in milliseconds, read through ClockGettime; false
    // when it cannot be read.
    bool MonotonicMs(int64_t* ms);
    // Sleeps MS milliseconds through Nanosleep, on after interruptions.
    void SleepMs(int64_t ms);

    // Processes.
    CDR_SEAM pid_t Fork();
    CDR_SEAM int Kill(pid_t pid, int signal);
    CDR_SEAM int Setpgid(pid_t pid, pid_t group);
    CDR_SEAM pid_t Waitpid(pid_t pid, int* status, int options);
    CDR_SEAM int Waitid(idtype_t type, id_t id, siginfo_t* info, int options);
    // The file-creation mask: sets MASK, gives the one before.
    CDR_SEAM mode_t Umask(mode_t mask);

    // Writes all of PIECES (COUNT of them, at most kMaxPieces) to FD: goes on
    // after a short write and retries when interrupted. False, with errno
    // set, when a write fails. The one write loop of the program; safe in a
    // signal handler.
    static constexpr int kMaxPieces = 1024;
    bool WriteAll(int fd, const struct iovec* pieces, int count);
    bool WriteAll(int fd, const void* data, size_t size);

    // The instance in force, and its replacement (null: the real calls).
    static System& Default();
#ifndef CDR_FIXED_SYSTEM
    static void Set(System* system);
#endif
};
