#include "platform/util/LogStream.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/config/TrustedDirectory.h"
#include "platform/util/GeneralSettingsAccessor.h"

namespace {

// Room kept free in each file for a crash report (the crash guard's report
// buffer is 4096 bytes).
const int64_t kReportRoom = 4096;

int64_t DeviceLimit() {
    const int64_t bytes =
        int64_t{GeneralSettingsAccessor::ReadOnce(GeneralSettingsAccessor::kLogMaxKb)} * 1024;
    return bytes > 2 * kReportRoom ? bytes - kReportRoom : bytes / 2;
}

void WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;  // a full disk loses log text, never the daemon
        p += w;
        n -= static_cast<size_t>(w);
    }
}

}  // namespace

LogStream::LogStream(const char* name, bool, bool, int maxSize, int backups,
                     unsigned int bufferSize, bool)
    : mMaxSize(std::min<int64_t>(maxSize > 0 ? maxSize : INT64_MAX, DeviceLimit())),
      mBackups(backups > 0 ? backups : 0),
      mpBuffer(new char[bufferSize ? bufferSize : 1]),
      mBufferSize(bufferSize ? bufferSize : 1) {
    std::string n = name ? name : "log";
    mPath = n.find('/') == std::string::npos ? "/tmp/logs/" + n : n;
    EnsureOpen();
}

LogStream::~LogStream() {
    Flush();
    if (mFd >= 0)
        close(mFd);
    delete[] mpBuffer;
}

bool LogStream::EnsureOpen() {
    if (mFd >= 0)
        return true;
    const size_t slash = mPath.rfind('/');
    const std::string dir = slash == 0 ? "/" : mPath.substr(0, slash);
    // Made 0755 less the mask: a directory the stream itself would refuse must never come of it.
    mkdir(dir.c_str(), 0755);
    // Neither the directory nor the file may be a link: in a shared /tmp either
    // could point another user's way into the files of this process's user.
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0)
        return Refuse(dir, strerror(errno));
    struct stat st;
    const char* why =
        fstat(dirFd, &st) != 0 ? strerror(errno) : Configuration::TrustedDirectory::Check(st);
    if (!why) {
        mFd = openat(dirFd, mPath.c_str() + slash + 1,
                     O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (mFd < 0)
            why = strerror(errno);
    }
    close(dirFd);
    if (why)
        return Refuse(dir, why);
    mFileSize = fstat(mFd, &st) == 0 ? st.st_size : 0;
    return true;
}

bool LogStream::Refuse(const std::string& dir, const char* why) {
    if (!mRefused)
        syslog(LOG_WARNING, "%s is not written: %s: %s", mPath.c_str(), dir.c_str(), why);
    mRefused = true;
    return false;
}

void LogStream::Rotate() {
    if (mFd >= 0)
        close(mFd);
    mFd = -1;
    if (mBackups == 0) {
        unlink(mPath.c_str());
    } else {
        for (int i = mBackups - 1; i >= 1; --i)
            rename((mPath + "." + std::to_string(i)).c_str(),
                   (mPath + "." + std::to_string(i + 1)).c_str());
        rename(mPath.c_str(), (mPath + ".1").c_str());
    }
    EnsureOpen();
}

void LogStream::WriteOut() {
    if (mBuffered == 0 || !EnsureOpen()) {
        mBuffered = 0;
        return;
    }
    WriteAll(mFd, mpBuffer, mBuffered);
    mFileSize += static_cast<int64_t>(mBuffered);
    mBuffered = 0;
}

void LogStream::Append(const char* text, size_t length) {
    // Rotate between texts only, so no line is ever split across two files.
    if (mFileSize + static_cast<int64_t>(mBuffered + length) > mMaxSize &&
        mFileSize + static_cast<int64_t>(mBuffered) > 0) {
        WriteOut();
        Rotate();
    }
    if (mBuffered + length > mBufferSize)
        WriteOut();
    if (length > mBufferSize) {
        if (EnsureOpen()) {
            WriteAll(mFd, text, length);
            mFileSize += static_cast<int64_t>(length);
        }
        return;
    }
    std::memcpy(mpBuffer + mBuffered, text, length);
    mBuffered += length;
}

void LogStream::TRACE(const char* text, unsigned char, unsigned char) {
    if (!text)
        return;
    ThreadMutexLock hold(mLock);
    Append(text, std::strlen(text));
}

void LogStream::TRACE(unsigned char, const char* format, va_list& args, unsigned char) {
    if (!format)
        return;
    ThreadMutexLock hold(mLock);
    // Expand into the free end of the buffer, or into a flushed buffer.
    if (mBuffered > 0)
        WriteOut();
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(mpBuffer, mBufferSize, format, copy);
    va_end(copy);
    if (n <= 0)
        return;
    size_t length = static_cast<size_t>(n) < mBufferSize ? static_cast<size_t>(n) : mBufferSize - 1;
    // The expansion sits at the start of the buffer; append it as a text of its own.
    mBuffered = 0;
    char* text = mpBuffer;
    if (mFileSize + static_cast<int64_t>(length) > mMaxSize && mFileSize > 0)
        Rotate();
    if (EnsureOpen()) {
        WriteAll(mFd, text, length);
        mFileSize += static_cast<int64_t>(length);
    }
}

void LogStream::Flush() {
    ThreadMutexLock hold(mLock);
    WriteOut();
}
