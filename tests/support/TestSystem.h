#pragma once
// The system seam for tests: the real calls, but for what a test asks of
// it: a clock of its own, a call that fails with a chosen error, and the
// daemon's fixed paths moved under a directory of the test's. Installed for
// the whole process while it lives.
#include <errno.h>

#include <map>
#include <string>
#include <vector>

#include "platform/sys/System.h"

namespace testing_support {

class TestSystem : public System {
public:
    enum Call { kOpen, kWrite, kFsync, kFdatasync, kClose, kRename, kFork };

    TestSystem() { System::Set(this); }
    ~TestSystem() override { System::Set(nullptr); }

    // Both clocks read SECONDS and MILLISECONDS from now on.
    void SetClock(time_t seconds, long milliseconds) {
        mClockSet = true;
        mClock = {seconds, milliseconds * 1000000};
    }
    // After the next AFTER calls of CALL, COUNT calls (every one: -1) fail with ERROR.
    void Fail(Call call, int error, int count = -1, int after = 0) {
        mFailures[call] = {error, count, after};
    }
    // From now on writes are cut to at most 3 bytes, and every other one is
    // interrupted (EINTR) before it writes anything.
    void Choppy() { mChoppy = true; }
    // No call fails and no write is cut any more.
    void Heal() {
        mFailures.clear();
        mChoppy = false;
    }
    // Write and Writev calls made so far.
    int Writes() const { return mWrites; }
    // An exception of no standard kind, thrown by the Open of a path that
    // holds NAME: one that nothing on the way catches.
    struct Thrown {};
    void ThrowOnOpen(const std::string& name) { mThrowOn = name; }
    // Descriptors opened through the seam and not closed yet.
    int OpenFiles() const { return mOpen; }
    // Absolute paths under one of PREFIXES are taken to be under ROOT.
    void Root(const std::string& root, const std::vector<std::string>& prefixes) {
        mRoot = root;
        mPrefixes = prefixes;
    }

    int Open(const char* path, int flags, mode_t mode) override {
        if (!mThrowOn.empty() && std::string(path).find(mThrowOn) != std::string::npos)
            throw Thrown();
        return Counted(Failing(kOpen) ? -1 : System::Open(Path(path), flags, mode));
    }
    int OpenAt(int dirFd, const char* name, int flags, mode_t mode) override {
        return Counted(System::OpenAt(dirFd, name, flags, mode));
    }
    ssize_t Write(int fd, const void* buf, size_t count) override {
        ++mWrites;
        if (Failing(kWrite))
            return -1;
        if (mChoppy && mWrites % 2) {
            errno = EINTR;
            return -1;
        }
        return System::Write(fd, buf, mChoppy && count > 3 ? 3 : count);
    }
    ssize_t Writev(int fd, const struct iovec* iov, int count) override {
        if (mChoppy) {  // what Write writes of the first piece that is not empty
            while (count > 0 && iov->iov_len == 0) {
                ++iov;
                --count;
            }
            return count > 0 ? Write(fd, iov->iov_base, iov->iov_len) : 0;
        }
        ++mWrites;
        return Failing(kWrite) ? -1 : System::Writev(fd, iov, count);
    }
    int Fsync(int fd) override { return Failing(kFsync) ? -1 : System::Fsync(fd); }
    int Fdatasync(int fd) override { return Failing(kFdatasync) ? -1 : System::Fdatasync(fd); }
    int Close(int fd) override {
        const int rc = System::Close(fd);
        mOpen -= rc == 0;
        return Failing(kClose) ? -1 : rc;
    }
    int Rename(const char* from, const char* to) override {
        const std::string source = Path(from);
        return Failing(kRename) ? -1 : System::Rename(source.c_str(), Path(to));
    }
    int Link(const char* from, const char* to) override {
        const std::string source = Path(from);
        return System::Link(source.c_str(), Path(to));
    }
    int Unlink(const char* path) override { return System::Unlink(Path(path)); }
    int Mkdir(const char* path, mode_t mode) override { return System::Mkdir(Path(path), mode); }
    int Lstat(const char* path, struct stat* st) override { return System::Lstat(Path(path), st); }
    int Chmod(const char* path, mode_t mode) override { return System::Chmod(Path(path), mode); }
    int ClockGettime(clockid_t clock, struct timespec* now) override {
        if (!mClockSet)
            return System::ClockGettime(clock, now);
        *now = mClock;
        return 0;
    }
    pid_t Fork() override { return Failing(kFork) ? -1 : System::Fork(); }

protected:
    // True, with errno set, when the failures set for CALL take this one.
    bool Failing(Call call) {
        auto it = mFailures.find(call);
        if (it == mFailures.end() || it->second.count == 0)
            return false;
        if (it->second.after > 0) {
            --it->second.after;
            return false;
        }
        if (it->second.count > 0)
            --it->second.count;
        errno = it->second.error;
        return true;
    }

private:
    struct Failure {
        int error;
        int count;
        int after;
    };
    int Counted(int fd) {
        mOpen += fd >= 0;
        return fd;
    }
    // Kept until the next call: the result of a rooted path.
    const char* Path(const char* path) {
        mPath = path ? path : "";
        for (const std::string& prefix : mPrefixes)
            if (mPath.compare(0, prefix.size(), prefix) == 0 &&
                (mPath.size() == prefix.size() || mPath[prefix.size()] == '/'))
                return (mPath = mRoot + mPath).c_str();
        return mPath.c_str();
    }

    bool mClockSet = false;
    struct timespec mClock = {};
    std::map<Call, Failure> mFailures;
    std::string mRoot;
    std::vector<std::string> mPrefixes;
    std::string mPath;
    std::string mThrowOn;
    int mOpen = 0;
    bool mChoppy = false;
    int mWrites = 0;
};

}  // namespace testing_support
