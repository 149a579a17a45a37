#pragma once

#include <sys/stat.h>

#include "platform/sys/System.h"

namespace Configuration {

// Whether files may be written in a directory: it must belong to this
// process's effective user and be writable by no one else. Otherwise another
// user could plant a link where a file is about to be written, swap a file
// for one of theirs, or read what is written.
//
// One exception: a directory of root's with the sticky bit, as /tmp is.
// There no one may remove or rename another's file, so a file that is
// itself checked once opened (CheckFile: ours, regular, one link, opened
// without following a link) is safe to append to.
//
// Stateless; uses only geteuid, so it may be called in a signal handler.
class TrustedDirectory {
public:
    // Null when the directory whose status is ST may be written in, else
    // why not.
    static const char* Check(const struct stat& st);
    // A directory of root's with the sticky bit.
    static bool Sticky(const struct stat& st);
    // Null when the opened file whose status is ST may be written, else why
    // not: a regular file of this process's user with no other name.
    static const char* CheckFile(const struct stat& st);
    // Opens NAME in the directory DIR_FD for appending, made when missing,
    // when the directory and the file may be trusted as above; never through
    // a link, and never waiting (a FIFO in its place). *ST gets the file's
    // status. Else -1 with *WHY the reason, or null and errno for a failed
    // call. Signal-safe calls only.
    static int OpenForAppend(System& sys, int dirFd, const char* name, struct stat* st,
                             const char** why);
};

}  // namespace Configuration
