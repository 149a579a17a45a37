#include "platform/config/TrustedDirectory.h"

#include <fcntl.h>
#include <unistd.h>

namespace Configuration {

const char* TrustedDirectory::Check(const struct stat& st) {
    if (!S_ISDIR(st.st_mode))
        return "not a directory";
    if (st.st_uid != geteuid())
        return "directory owned by another user";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return "directory writable by group or others";
    return nullptr;
}

bool TrustedDirectory::Sticky(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == 0 && (st.st_mode & S_ISVTX);
}

const char* TrustedDirectory::CheckFile(const struct stat& st) {
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (st.st_uid != geteuid())
        return "file owned by another user";
    if (st.st_nlink != 1)
        return "file with another name (a hard link)";
    return nullptr;
}

int TrustedDirectory::OpenForAppend(System& sys, int dirFd, const char* name, struct stat* st,
                                    const char** why) {
    *why = nullptr;
    if (sys.Fstat(dirFd, st) != 0)
        return -1;
    *why = Check(*st);
    if (*why && !Sticky(*st))
        return -1;
    const int fd = sys.OpenAt(
        dirFd, name, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    *why = nullptr;
    if (fd < 0)
        return -1;
    if (sys.Fstat(fd, st) != 0 || (*why = CheckFile(*st)) != nullptr) {
        sys.Close(fd);
        return -1;
    }
    return fd;
}

}  // namespace Configuration
