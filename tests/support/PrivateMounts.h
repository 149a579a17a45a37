#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace testing_support {

// Puts this process into a mount namespace of its own with an empty tmpfs on
// each of DIRS (made when missing), so that the daemon's fixed paths are real
// but private to the test. Needs root; false when it cannot be done.
inline bool EnterPrivateMounts(const std::vector<std::string>& dirs) {
    if (unshare(CLONE_NEWNS) != 0)
        return false;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    for (const std::string& dir : dirs) {
        for (size_t pos = 1; pos <= dir.size(); ++pos)
            if (pos == dir.size() || dir[pos] == '/')
                mkdir(dir.substr(0, pos).c_str(), 0755);
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64m,mode=0755") != 0)
            return false;
    }
    return true;
}

}  // namespace testing_support
