#pragma once

#include <gtest/gtest.h>

#include "tests/support/PrivateMounts.h"

namespace testing_support {

// A test program that includes this gets the daemon's fixed paths (the
// trace log, the statistics file, the default configuration) on private
// tmpfs mounts before its first test; DaemonPathsArePrivate() tells whether
// that worked.
inline bool& DaemonPathsArePrivateFlag() {
    static bool isPrivate = false;
    return isPrivate;
}
inline bool DaemonPathsArePrivate() {
    return DaemonPathsArePrivateFlag();
}

class PrivateDaemonPaths : public ::testing::Environment {
public:
    void SetUp() override {
        DaemonPathsArePrivateFlag() =
            EnterPrivateMounts({"/tmp/logs", "/mnt/bbram", "/etc/kelt-conf"});
    }
};

}  // namespace testing_support
