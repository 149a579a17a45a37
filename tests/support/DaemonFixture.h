#pragma once
// The fixture of the tests that run cdrd as a process: a private
// configuration directory and queue directory per test, the daemon started
// and stopped as a child, and the tools run against it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/msg/QueueAddress.h"
#include "tests/support/PrivateDaemonPaths.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace testing_support {

inline const char kLog[] = "/tmp/logs/cdr.log";
// The daemon writes fixed paths: give this test program its own.
inline ::testing::Environment* const gEnv =
    ::testing::AddGlobalTestEnvironment(new testing_support::PrivateDaemonPaths);

// Waits (up to a minute: the emulator is slow) until DONE holds.
inline bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 1200; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_support::DaemonPathsArePrivate())
            GTEST_SKIP() << "needs a private mount namespace (root)";
        mBase = mDir.Path() + "/conf/";
        setenv("KELT_PATH", mBase.c_str(), 1);
        setenv("MSGQ_DIR", mDir.File("msgq").c_str(), 1);
        mkdir(mBase.c_str(), 0755);
        mkdir((mBase + "sysconfig").c_str(), 0755);
        // A device has one: without, the status names it missing.
        WriteFile(mBase + "sysconfig/general_settings.conf", "");
        unlink(kLog);
    }
    void TearDown() override { mDaemon.reset(); }

    void Start() {
        unlink(QueueAddress::PathOf(15).c_str());
        unlink(QueueAddress::PathOf(111).c_str());
        mDaemon =
            std::make_unique<Process>(CDRD, std::vector<std::string>{}, mDir.File("cdrd.out"));
        ASSERT_TRUE(WaitFor([] {
            return access(QueueAddress::PathOf(15).c_str(), F_OK) == 0 &&
                   access(QueueAddress::PathOf(111).c_str(), F_OK) == 0;
        })) << ReadFile(kLog);
    }
    int Stop(int signal) {
        mDaemon->Signal(signal);
        return mDaemon->Wait();
    }
    int Run(const char* program, const std::vector<std::string>& args) {
        Process p(program, args, mDir.File("out"));
        return p.Wait();
    }
    std::string Output() { return ReadFile(mDir.File("out")); }
    // A program that scripts can run by name as on the device: PROGRAM itself,
    // or a script NAME that runs it through the emulator.
    std::string Launcher(const std::string& program, const std::string& name) {
        const std::vector<std::string> argv = Command(program, {});
        if (argv.size() == 1)
            return program;
        std::string text = "#!/bin/sh\nexec";
        for (const std::string& word : argv) text += " '" + word + "'";
        const std::string path = mDir.File(name);
        WriteFile(path, text + " \"$@\"\n");
        chmod(path.c_str(), 0755);
        return path;
    }
    std::string Db(const char* name) { return ReadFile(mBase + "telephony/" + name); }
    // Waits until the daemon has traced N reports in all (saving comes after).
    void Handled(size_t n) {
        ASSERT_TRUE(WaitFor([&] { return Count(ReadFile(kLog), "  OnAddCDR\n") >= n; }));
    }

    TempDir mDir;
    std::string mBase;
    std::unique_ptr<Process> mDaemon;
};

}  // namespace testing_support
