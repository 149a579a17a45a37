#include "platform/config/FileSystem.h"

#include <sys/uio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace Configuration {

int FileSystem::Open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t FileSystem::Read(int fd, void* buf, size_t count) {
    return ::read(fd, buf, count);
}
ssize_t FileSystem::Write(int fd, const void* buf, size_t count) {
    return ::write(fd, buf, count);
}

ssize_t FileSystem::Writev(int fd, const struct iovec* iov, int count) {
    return ::writev(fd, iov, count);
}
int FileSystem::Fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int FileSystem::Fsync(int fd) {
    return ::fsync(fd);
}
int FileSystem::Fdatasync(int fd) {
    return ::fdatasync(fd);
}
int FileSystem::Ftruncate(int fd, off_t length) {
    return ::ftruncate(fd, length);
}
int FileSystem::Close(int fd) {
    return ::close(fd);
}
int FileSystem::Rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int FileSystem::Link(const char* from, const char* to) {
    return ::link(from, to);
}
int FileSystem::Unlink(const char* path) {
    return ::unlink(path);
}
int FileSystem::Mkdir(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}

FileSystem* FileSystem::Default() {
    static FileSystem* instance = new FileSystem;  // never freed: usable from static destructors
    return instance;
}

}  // namespace Configuration
