#pragma once
// The manager's test fixture: a private configuration directory and trace
// log for each test, and the manager's insides opened to the tests.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "cdr/CDRManager.h"
#include "platform/config/MultiSectionFile.h"
#include "tests/support/PrivateDaemonPaths.h"
#include "tests/support/TempDir.h"

namespace cdr_test {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

inline const char kLog[] = "/tmp/logs/cdr.log";
// The daemon writes fixed paths: give this test program its own.
inline ::testing::Environment* const gEnv =
    ::testing::AddGlobalTestEnvironment(new testing_support::PrivateDaemonPaths);

// Opens the manager's insides to the tests.
class Manager : public CDRManager {
public:
    using CDRManager::mAutoDownload;
    using CDRManager::mDownloadCount;
    using CDRManager::mHealth;
    using CDRManager::mpFiles;
    using CDRManager::mpStatFile;
    using CDRManager::mSettings;
    Configuration::MultiSectionFile& Db(int i) { return *mpFiles->mpFile[i]; }
};

class CDRManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_support::DaemonPathsArePrivate())
            GTEST_SKIP() << "needs a private mount namespace (root)";
        mBase = mDir.Path() + "/conf/";
        setenv("KELT_PATH", mBase.c_str(), 1);
        setenv("MSGQ_DIR", (mDir.Path() + "/msgq").c_str(), 1);
        mkdir(mBase.c_str(), 0755);
        mkdir((mBase + "sysconfig").c_str(), 0755);
        mkdir((mBase + "telephony").c_str(), 0755);
        unlink(kLog);
    }
    void Settings(const std::string& text) {
        WriteFile(mBase + "sysconfig/general_settings.conf", text);
    }
    std::string Db(const char* name) { return mBase + "telephony/" + name; }
    std::string Log() { return ReadFile(kLog); }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
        return n;
    }

    TempDir mDir;
    std::string mBase;
};

inline CallDetailReport Call(const char* caller, int32_t start = 1000) {
    CallDetailReport r;
    r.mStartTime = start;
    r.mCaller = caller;
    return r;
}

}  // namespace cdr_test
