#pragma once
// The manager's test fixture: a configuration directory of each test's own,
// and the daemon's fixed paths (the trace log, the statistics file) moved
// under it through the system seam, so that no root is needed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "cdr/CDRManager.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSystem.h"

namespace cdr_test {

using testing_support::Count;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

inline const char kLog[] = "/tmp/logs/cdr.log";
inline const char kStatFile[] = "/mnt/bbram/calldata/down_stat.log";

using Manager = CDRManager;

class CDRManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        mSystem.Root(mDir.Path(), {"/tmp/logs", "/mnt/bbram", "/etc/kelt-conf"});
        for (const char* parent : {"tmp", "mnt", "etc"}) mkdir(mDir.File(parent).c_str(), 0755);
        mBase = mDir.Path() + "/conf/";
        setenv("KELT_PATH", mBase.c_str(), 1);
        setenv("MSGQ_DIR", (mDir.Path() + "/msgq").c_str(), 1);
        mkdir(mBase.c_str(), 0755);
        mkdir((mBase + "sysconfig").c_str(), 0755);
        mkdir((mBase + "telephony").c_str(), 0755);
        Settings("");  // a device has one: without, the status names it missing
    }
    // Where the daemon's fixed PATH is in this test.
    std::string Rooted(const char* path) { return mDir.Path() + path; }
    void Settings(const std::string& text) {
        WriteFile(mBase + "sysconfig/general_settings.conf", text);
    }
    std::string Db(const char* name) { return mBase + "telephony/" + name; }
    std::string Log() { return ReadFile(Rooted(kLog)); }
    // How database I (0 stated, 1 missed, 2 failed) stands, as the status says.
    static RecorderStatus::Database Stand(Manager& m, int i) {
        return m.CurrentStatus().mDatabases[i];
    }

    TempDir mDir;
    testing_support::TestSystem mSystem;
    std::string mBase;
};

inline CallDetailReport Call(const char* caller, int32_t start = 1000) {
    CallDetailReport r;
    r.mStartTime = start;
    r.mCaller = caller;
    return r;
}

}  // namespace cdr_test
