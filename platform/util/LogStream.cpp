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
#include "platform/sys/System.h"
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

// A full disk loses log text, never the daemon.
void WriteAll(int fd, const char* text, size_t length) {
    System::Default().WriteAll(fd, text, length);
}

}  // namespace

namespace {

// A bare name goes into the device's log directory.
std::string LogPath(const char* name) {
    const std::string n = name ? name : "log";
    return n.find('/') == std::string::npos ? "/tmp/logs/" + n : n;
}

}  // namespace

LogStream::LogStream(const char* name, bool, bool, int maxSize, int backups,
                     unsigned int bufferSize, bool)
    : mPath(LogPath(name)),
      mMaxSize(std::min<int64_t>(maxSize > 0 ? maxSize : INT64_MAX, DeviceLimit())),
      mBackups(backups > 0 ? backups : 0),
      mpBuffer(new char[bufferSize ? bufferSize : 1]),
      mBufferSize(bufferSize ? bufferSize : 1) {
    ThreadMutexLock hold(mLock);  // nobody else has the stream yet; the analysis asks for it
    EnsureOpen();
}

LogStream::~LogStream() {
    Flush();
    if (mFd >= 0)
        System::Default().Close(mFd);
    delete[] mpBuffer;
}

bool LogStream::EnsureOpen() {
    if (mFd >= 0)
        return true;
    System& sys = System::Default();
    const size_t slash = mPath.rfind('/');
    const std::string dir = slash == 0 ? "/" : mPath.substr(0, slash);
    // Made 0755 less the mask: a directory the stream itself would refuse must never come of it.
    sys.Mkdir(dir.c_str(), 0755);
    // Neither the directory nor the file may be a link: in a shared /tmp either
    // could point another user's way into the files of this process's user.
    const int dirFd = sys.Open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (dirFd < 0)
        return Refuse(dir, strerror(errno));
    struct stat st;
    const char* why;
    mFd = Configuration::TrustedDirectory::OpenForAppend(sys, dirFd, mPath.c_str() + slash + 1, &st,
                                                         &why);
    if (mFd < 0 && !why)
        why = strerror(errno);
    sys.Close(dirFd);
    if (why)
        return Refuse(dir, why);
    mFileSize = st.st_size;
    mProblem.clear();
    return true;
}

bool LogStream::Refuse(const std::string& dir, const char* why) {
    if (mProblem.empty()) {
        mProblem = dir + ": " + why;
        syslog(LOG_WARNING, "%s is not written: %s", mPath.c_str(), mProblem.c_str());
        fprintf(stderr, "%s is not written: %s\n", mPath.c_str(), mProblem.c_str());
    }
    return false;
}

void LogStream::Rotate() {
    System& sys = System::Default();
    if (mFd >= 0)
        sys.Close(mFd);
    mFd = -1;
    if (mBackups == 0) {
        sys.Unlink(mPath.c_str());
    } else {
        for (int i = mBackups - 1; i >= 1; --i)
            sys.Rename((mPath + "." + std::to_string(i)).c_str(),
                       (mPath + "." + std::to_string(i + 1)).c_str());
        sys.Rename(mPath.c_str(), (mPath + ".1").c_str());
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
