#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

namespace Configuration {

// The system calls that the configuration library makes on files, behind one
// seam so that tests can make any of them fail without root or a full disk.
//
// Each operation mirrors its POSIX namesake: same arguments, same result, and
// errno set on failure. The base class makes the real calls; a test derives
// and overrides what it wants to break. Implementations must be callable from
// any thread. Default() returns a process-wide instance that is never freed.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual int Open(const char* path, int flags, mode_t mode);
    virtual ssize_t Read(int fd, void* buf, size_t count);
    virtual int Fstat(int fd, struct stat* st);
    virtual ssize_t Write(int fd, const void* buf, size_t count);
    virtual ssize_t Writev(int fd, const struct iovec* iov, int count);
    virtual int Fsync(int fd);
    virtual int Fdatasync(int fd);
    virtual int Ftruncate(int fd, off_t length);
    virtual int Close(int fd);
    virtual int Rename(const char* from, const char* to);
    virtual int Link(const char* from, const char* to);
    virtual int Unlink(const char* path);
    virtual int Mkdir(const char* path, mode_t mode);

    static FileSystem* Default();
};

}  // namespace Configuration
