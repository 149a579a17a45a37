#pragma once
// The system seam with the files under PREFIXES kept in a PowerCutFs, and
// everything else as TestSystem has it: so the recorder's databases,
// journals and statistics file live in the model, where every state a power
// cut can leave is known. AfterChange, when set, runs after each call that
// changed the model: the operation boundaries where the crash-state
// explorer takes the states. Failures set with Fail hold for the model's
// calls too. Installed while it lives, as TestSystem.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/PowerCutFs.h"
#include "tests/support/TestSystem.h"

namespace testing_support {

class ModelSystem : public TestSystem {
public:
    ModelSystem(PowerCutFs& fs, std::vector<std::string> prefixes)
        : mFs(fs), mPrefixes(std::move(prefixes)) {
        mMask = umask(0);
        umask(mMask);
    }

    std::function<void()> AfterChange;
    // Runs before each Fork: a child process or a command starts.
    std::function<void()> BeforeFork;

    int Open(const char* path, int flags, mode_t mode) override {
        if (!Mine(path))
            return TestSystem::Open(path, flags, mode);
        if (Failing(kOpen))
            return -1;
        const int ino = Changing([&] { return mFs.Open(path, flags, mode & ~mMask); });
        if (ino < 0)
            return -1;
        mFiles[mNextFd] = {ino, 0, flags};
        return mNextFd++;
    }
    ssize_t Read(int fd, void* buf, size_t count) override {
        auto file = mFiles.find(fd);
        if (file == mFiles.end())
            return TestSystem::Read(fd, buf, count);
        const ssize_t n =
            Result(mFs.Read(file->second.ino, static_cast<char*>(buf), count, file->second.offset));
        file->second.offset += n > 0 ? n : 0;
        return n;
    }
    ssize_t Write(int fd, const void* buf, size_t count) override {
        const struct iovec piece = {const_cast<void*>(buf), count};
        return Writev(fd, &piece, 1);
    }
    ssize_t Writev(int fd, const struct iovec* iov, int count) override {
        auto file = mFiles.find(fd);
        if (file == mFiles.end())
            return TestSystem::Writev(fd, iov, count);
        if (Failing(kWrite))
            return -1;
        std::string bytes;
        for (int i = 0; i < count; ++i)
            bytes.append(static_cast<const char*>(iov[i].iov_base), iov[i].iov_len);
        OpenFile& f = file->second;
        if (f.flags & O_APPEND) {
            struct stat st;
            mFs.Stat(f.ino, &st);
            f.offset = st.st_size;
        }
        const ssize_t n =
            Changing([&] { return mFs.Write(f.ino, bytes.data(), bytes.size(), f.offset); });
        f.offset += n > 0 ? n : 0;
        return n;
    }
    int Fstat(int fd, struct stat* st) override {
        auto file = mFiles.find(fd);
        return file == mFiles.end() ? TestSystem::Fstat(fd, st)
                                    : Result(mFs.Stat(file->second.ino, st));
    }
    int Lstat(const char* path, struct stat* st) override {
        if (!Mine(path))
            return TestSystem::Lstat(path, st);
        const int ino = Result(mFs.Lookup(path));
        return ino < 0 ? -1 : mFs.Stat(ino, st);
    }
    int Fsync(int fd) override { return Sync(fd, kFsync); }
    int Fdatasync(int fd) override { return Sync(fd, kFdatasync); }
    int Ftruncate(int fd, off_t length) override {
        auto file = mFiles.find(fd);
        if (file == mFiles.end())
            return TestSystem::Ftruncate(fd, length);
        return Changing([&] { return mFs.Truncate(file->second.ino, length); });
    }
    int Close(int fd) override {
        if (mFiles.erase(fd) == 0)
            return TestSystem::Close(fd);
        return Failing(kClose) ? -1 : 0;
    }
    int Rename(const char* from, const char* to) override {
        if (!Mine(from) && !Mine(to))
            return TestSystem::Rename(from, to);
        if (Failing(kRename))
            return -1;
        return Mine(from) && Mine(to) ? Changing([&] { return mFs.Rename(from, to); })
                                      : Result(-EXDEV);
    }
    int Link(const char* from, const char* to) override {
        if (!Mine(from) && !Mine(to))
            return TestSystem::Link(from, to);
        return Mine(from) && Mine(to) ? Changing([&] { return mFs.Link(from, to); })
                                      : Result(-EXDEV);
    }
    int Unlink(const char* path) override {
        return Mine(path) ? Changing([&] { return mFs.Unlink(path); }) : TestSystem::Unlink(path);
    }
    int Mkdir(const char* path, mode_t mode) override {
        if (!Mine(path))
            return TestSystem::Mkdir(path, mode);
        return Changing([&] { return std::min(mFs.Mkdir(path, mode & ~mMask), 0); });
    }

    pid_t Fork() override {
        if (BeforeFork)
            BeforeFork();
        return TestSystem::Fork();
    }

private:
    struct OpenFile {
        int ino;
        off_t offset;
        int flags;
    };
    bool Mine(const char* path) const {
        const std::string p = path;
        for (const std::string& prefix : mPrefixes)
            if (p.compare(0, prefix.size(), prefix) == 0 &&
                (p.size() == prefix.size() || p[prefix.size()] == '/'))
                return true;
        return false;
    }
    // A model result as the seam gives it: -1 with errno, or the value.
    static int Result(long value) {
        if (value >= 0)
            return static_cast<int>(value);
        errno = static_cast<int>(-value);
        return -1;
    }
    // Runs CALL on the model and tells of the change it made.
    template <class Call>
    int Changing(Call&& call) {
        const size_t before = mFs.Changes();
        const long value = call();
        if (mFs.Changes() != before && AfterChange)
            AfterChange();
        return Result(value);
    }
    int Sync(int fd, Call call) {
        auto file = mFiles.find(fd);
        if (file == mFiles.end())
            return call == kFsync ? TestSystem::Fsync(fd) : TestSystem::Fdatasync(fd);
        if (Failing(call))
            return -1;
        return Changing([&] { return mFs.Sync(file->second.ino); });
    }

    PowerCutFs& mFs;
    std::vector<std::string> mPrefixes;
    mode_t mMask;
    std::map<int, OpenFile> mFiles;
    int mNextFd = 1 << 20;  // far above the real descriptors
};

}  // namespace testing_support
