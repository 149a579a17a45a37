#include "platform/config/TrustedDirectory.h"

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

}  // namespace Configuration
