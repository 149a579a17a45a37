#pragma once

#include <sys/stat.h>

namespace Configuration {

// Whether files may be written in a directory: it must belong to this
// process's effective user and be writable by no one else. Otherwise another
// user could plant a link where a file is about to be written, swap a file
// for one of theirs, or read what is written. Stateless; uses only geteuid,
// so it may be called in a signal handler.
class TrustedDirectory {
public:
    // Null when the directory whose status is ST may be written in, else
    // why not.
    static const char* Check(const struct stat& st);
};

}  // namespace Configuration
