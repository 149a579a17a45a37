#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/util/ThreadMutex.h"

// An append-only text log file with a size limit.
//
// NAME without a "/" is placed in /tmp/logs/ (created when missing); a name
// with a "/" is used as the path. Text is appended through a buffer of
// BUFFER_SIZE bytes that Flush (and a full buffer) writes out. Before a text
// would carry the file past its limit, the file is renamed to NAME.1 (NAME.1
// to NAME.2, ... up to BACKUPS backups) and a new one begun, so a file always
// ends at the end of a whole text, never in the middle of one.
//
// The limit is MAX_SIZE bytes or the device's log limit, whichever is less:
// CDR_LOG_MAX_KB of the general settings (see GeneralSettingsAccessor), read
// at construction, less 4 KiB kept free in each file for a crash report that
// the crash guard appends from outside the stream. A log on a RAM disk thus
// never holds more than (BACKUPS + 1) times the device's limit.
//
// The file is written only in a directory of this process's user that no
// one else may write, or in one of root's with the sticky bit (see
// Configuration::TrustedDirectory), and only when it is a regular file of
// this user's with no other name; neither the directory nor the file is
// followed when it is a link: in a shared /tmp a directory made in advance
// by another user could point the appends anywhere. Such a place gets no
// file; the system log and standard error are told once, and Problem says
// why until a file is opened again.
//
// The two flags and the last argument are accepted for the utility library's
// signature and have no effect. Every operation takes the stream's own lock,
// so threads may share a stream. Failures to open or write are not reported
// otherwise: the text is dropped and the file is opened again at the next
// write.
class LogStream {
public:
    LogStream(const char* name, bool option1, bool option2, int maxSize, int backups,
              unsigned int bufferSize, bool option3);
    virtual ~LogStream();
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

    // Appends TEXT as it is. LEVEL is not written.
    void TRACE(const char* text, unsigned char level, unsigned char reserved);
    // Expands FORMAT with ARGS (cut to the buffer size) and appends it.
    void TRACE(unsigned char level, const char* format, va_list& args, unsigned char reserved);
    void Flush();

    const std::string& Path() const { return mPath; }
    // Why no file is written ("DIR: WHY"); empty while one is.
    std::string Problem() const {
        ThreadMutexLock hold(mLock);
        return mProblem;
    }

private:
    void Append(const char* text, size_t length) REQUIRES(mLock);
    void WriteOut() REQUIRES(mLock);
    bool EnsureOpen() REQUIRES(mLock);
    // Says once to the system log that no file is written in DIR, and why.
    bool Refuse(const std::string& dir, const char* why) REQUIRES(mLock);
    void Rotate() REQUIRES(mLock);

    // Taken by every operation: in the log manager's queued mode its writer
    // thread writes while the threads that trace ask for the problem.
    mutable ThreadMutex mLock;
    // Set when made, then only read.
    const std::string mPath;
    const int64_t mMaxSize;
    const int mBackups;
    char* const mpBuffer PT_GUARDED_BY(mLock);
    const size_t mBufferSize;
    size_t mBuffered GUARDED_BY(mLock) = 0;
    int mFd GUARDED_BY(mLock) = -1;
    int64_t mFileSize GUARDED_BY(mLock) = 0;  // bytes in the file, buffered bytes not counted
    std::string mProblem GUARDED_BY(mLock);   // why no file is written; the system log was told
};
