#pragma once
// The system seam with the files under PREFIXES kept in a PowerCutFs, and
// everything else as TestSystem has it: so the recorder's databases,
// journals and statistics file live in the model, where every state a
// power cut can leave is known. AfterChange runs after each call that
// changed the model (the operation boundaries), BeforeFork before a child
// process starts. Failures set with Fail hold for the model's calls too.
// Installed while it lives, as TestSystem.
#include <fcntl.h>

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

    std::function<void()> AfterChange, BeforeFork;

    int Open(const char* path, int flags, mode_t mode) override {
        if (!Mine(path))
            return TestSystem::Open(path, flags, mode);
        const int ino =
            Failing(kOpen) ? -1 : Changing([&] { return mFs.Open(path, flags, mode & ~mMask); });
        if (ino < 0)
            return -1;
        mFiles[mNextFd] = {ino, 0, flags};
        return mNextFd++;
    }
    ssize_t Read(int fd, void* buf, size_t count) override {
        auto file = mFiles.find(fd);
        if (file == mFiles.end())
            return TestSystem::Read(fd, buf, count);
        const int n =
            Result(mFs.Read(file->second.ino, static_cast<char*>(buf), count, file->second.at));
        file->second.at += std::max(n, 0);
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
        struct stat st;
        mFs.Stat(file->second.ino, &st);
        off_t& at = file->second.at;
        if (file->second.flags & O_APPEND)
            at = st.st_size;
        const int n =
            Changing([&] { return mFs.Write(file->second.ino, bytes.data(), bytes.size(), at); });
        at += std::max(n, 0);
        return n;
    }
    int Fstat(int fd, struct stat* st) override {
        auto file = mFiles.find(fd);
        return file == mFiles.end() ? TestSystem::Fstat(fd, st) : mFs.Stat(file->second.ino, st);
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
    int Close(int fd) override { return mFiles.erase(fd) ? 0 : TestSystem::Close(fd); }
    int Rename(const char* from, const char* to) override {
        if (!Mine(from))
            return TestSystem::Rename(from, to);
        return Failing(kRename) ? -1 : Changing([&] { return mFs.Rename(from, to); });
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
        off_t at;
        int flags;
    };
    bool Mine(const char* path) const {
        const std::string p = path;
        return std::any_of(mPrefixes.begin(), mPrefixes.end(), [&](const std::string& prefix) {
            return p.compare(0, prefix.size(), prefix) == 0 &&
                   (p.size() == prefix.size() || p[prefix.size()] == '/');
        });
    }
    // A model result as the seam gives it: -1 with errno, or the value.
    static int Result(long value) {
        errno = value < 0 ? static_cast<int>(-value) : errno;
        return value < 0 ? -1 : static_cast<int>(value);
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
        return Failing(call) ? -1 : Changing([&] { return mFs.Sync(file->second.ino); });
    }

    PowerCutFs& mFs;
    std::vector<std::string> mPrefixes;
    mode_t mMask;
    std::map<int, OpenFile> mFiles;
    int mNextFd = 1 << 20;  // far above the real descriptors
};

}  // namespace testing_support
