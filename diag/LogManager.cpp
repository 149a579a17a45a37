#include "diag/LogManager.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "diag/LocalClock.h"
#include "platform/sys/System.h"
#include "platform/util/CyclicQueue.h"
#include "platform/util/DecimalText.h"
#include "platform/util/LogStream.h"
#include "platform/util/Thread.h"
#include "platform/util/ThreadMutex.h"

const char* ERR_PREFIX = "<<ERROR>> ";
const char* WARN_PREFIX = "<WARNING> ";

namespace {

const size_t kIndentSize = 64;
const size_t kTagLength = 10;
const int32_t kSeparatorLength = 5;  // "%03hu  "
// The indent buffer holds the prefix with its blank, the stamp's width in
// blanks (9 + 5) and a NUL.
const size_t kMaxPrefix = kIndentSize - 1 - 9 - kSeparatorLength;

// A clock that cannot be read (a 32-bit time past 2038) leaves the reading
// before it: lines go on with the last good stamp rather than a made-up one.
void ReadClock(struct timeb* t) {
    struct timespec now;
    if (System::Default().ClockGettime(CLOCK_REALTIME, &now) != 0)
        return;
    t->time = now.tv_sec;
    t->millitm = static_cast<unsigned short>(now.tv_nsec / 1000000);
    t->timezone = 0;
    t->dstflag = 0;
}

void WriteToStderr(const char* text) {
    System::Default().WriteAll(STDERR_FILENO, text, std::strlen(text));
}

}  // namespace

LogManager::LogManager(const char* name, bool streamFlag1, bool streamFlag2,
                       unsigned int queueDepth, unsigned int bufferSize)
    : mpStream(new LogStream(name, streamFlag1, streamFlag2, INT32_MAX, 1, bufferSize, false)),
      mpState(new LogState()) {
    LogState& s = *mpState;
    s.mpCallerLock = new ThreadMutex;
    s.mpWriterLock = nullptr;
    s.mpQueue = nullptr;
    s.mpTime = new struct timeb();
    s.mBufferSize = bufferSize ? bufferSize : 1;
    s.mpLineBuf = new char[s.mBufferSize]();
    s.mpIndentBuf = new char[kIndentSize]();
    s.mpWritePos = s.mpLineBuf;
    s.mFlush = 1;
    s.mStamp = 1;
    s.mIndentReady = 0;
    s.mLastSecond = 0;
    s.mQueueDepth = queueDepth;
    s.mStampLength = 0;
    s.mRetryCount = 0;
    s.mMessageLength = 0;
    s.mBannerCounter = 0;
    s.mWriterId = 0;
    if (queueDepth != 0) {
        s.mpWriterLock = new ThreadMutex;
        s.mpQueue = new CyclicQueue(static_cast<unsigned long>(queueDepth) * s.mBufferSize);
        s.mWriterId = Thread::BeginThread(LogWriteProc, this, 0);
    }
}

LogManager::~LogManager() {
    LogState& s = *mpState;
    if (s.mpQueue) {
        // The writer must be gone before the queue, the stream and the locks are.
        s.mpQueue->Close();
        if (s.mWriterId)
            Thread::Join(s.mWriterId);
    }
    mpStream->Flush();
    delete mpStream;
    delete s.mpCallerLock;
    delete s.mpWriterLock;
    delete s.mpQueue;
    delete s.mpTime;
    delete[] s.mpLineBuf;
    delete[] s.mpIndentBuf;
    delete mpState;
}

void LogManager::FormatTime() {
    LogState& s = *mpState;
    ReadClock(s.mpTime);
    char* wp = s.mpWritePos;
    const size_t room = s.mBufferSize - static_cast<size_t>(wp - s.mpLineBuf);
    // A second already stamped (never before the first stamp, whose length is 0).
    if (s.mpTime->time == s.mLastSecond && s.mStampLength > 0) {
        std::memset(wp, ' ', static_cast<size_t>(s.mStampLength - 1));
        wp[s.mStampLength - 1] = '.';
    } else {
        s.mLastSecond = s.mpTime->time;
        struct tm local;
        if (localtime_r(&s.mLastSecond, &local))
            LocalClock::RememberOffset(local.tm_gmtoff);  // for the crash guard's handler
        else
            LocalClock::Split(s.mLastSecond, &local);
        if (++s.mBannerCounter == 32) {
            s.mBannerCounter = 0;
            size_t n = strftime(wp, room, "%d  %b %Y  <---- Date ----<<<\n", &local);
            if (n > 0) {
                if (s.mpQueue && wp == s.mpLineBuf) {
                    s.mMessageLength = static_cast<int32_t>(n + 1);
                    PostLogMsg(-1);
                } else {
                    WriteLine();
                }
            }
        }
        s.mStampLength = static_cast<int32_t>(strftime(wp, room, "%H:%M:%S.", &local));
    }
    const size_t used = static_cast<size_t>(s.mStampLength);
    // Milliseconds in three digits and two blanks, as far as they fit.
    char ms[DecimalText::kMaxText + 2];
    const size_t length = DecimalText::WriteUnsigned(s.mpTime->millitm, ms, 3);
    ms[length] = ' ';
    ms[length + 1] = ' ';
    if (room > used) {
        const size_t n = std::min(length + 2, room - used - 1);
        std::memcpy(wp + used, ms, n);
        wp[used + n] = '\0';
    }
}

// Writes the composed line from the caller's thread; in queued mode under the
// writer's lock as well, so the stream never has two writers at once.
void LogManager::WriteLine() {
    LogState& s = *mpState;
    ThreadMutexLockIf hold(s.mpWriterLock);
    mpStream->TRACE(s.mpLineBuf, 3, 0);
}

// With stamps off the stream formats the message itself; in queued mode under
// the writer's lock, so the stream never has two writers at once.
void LogManager::WriteUnstamped(unsigned char level, const char*& format, va_list& args) {
    ThreadMutexLockIf hold(mpState->mpWriterLock);
    mpStream->TRACE(level, format, args, 0);
}

bool LogManager::ComposeLine(const char* tag, long type, const char*& format, va_list& args) {
    LogState& s = *mpState;
    FormatTime();
    char* message = s.mpWritePos + s.mStampLength + kSeparatorLength;
    const char* end = s.mpLineBuf + s.mBufferSize;
    if (tag) {
        if (message + kTagLength >= end)
            return false;
        std::memcpy(message, tag, kTagLength);
        message += kTagLength;
    }
    if (message >= end)
        return false;
    const size_t room = static_cast<size_t>(end - message);
    if (!std::strchr(format, '%')) {
        // Most traces are a plain text ("OnAddCDR\n"): copied as vsnprintf
        // would, without its cost.
        const size_t length = std::strlen(format);
        const size_t copied = length < room ? length : room - 1;
        std::memcpy(message, format, copied);
        message[copied] = '\0';
        s.mMessageLength = static_cast<int32_t>(length);
    } else {
        va_list copy;
        va_copy(copy, args);
        s.mMessageLength = vsnprintf(message, room, format, copy);
        va_end(copy);
    }
    if (s.mMessageLength <= 0)
        return false;  // an empty or failed expansion leaves no line
    if (s.mpQueue && s.mpWritePos == s.mpLineBuf) {
        s.mMessageLength = static_cast<int32_t>(message - s.mpLineBuf + std::strlen(message) + 1);
        PostLogMsg(type);
        return false;
    }
    WriteLine();
    return true;
}

void LogManager::TRACE(const char*& format, va_list& args) {
    LogState& s = *mpState;
    ThreadMutexLock hold(*s.mpCallerLock);
    if (!s.mStamp)
        WriteUnstamped(3, format, args);
    else if (!ComposeLine(nullptr, -1, format, args))
        return;
    if (s.mFlush)
        mpStream->Flush();
}

void LogManager::TRACE(const char* format, ...) {
    va_list args;
    va_start(args, format);
    TRACE(format, args);
    va_end(args);
}

void LogManager::PANIC(int level, const char*& format, va_list& args) {
    LogState& s = *mpState;
    ThreadMutexLock hold(*s.mpCallerLock);
    if (!s.mStamp) {
        WriteUnstamped(static_cast<unsigned char>(level), format, args);
        mpStream->Flush();
        return;
    }
    if (!ComposeLine(level == 0 ? ERR_PREFIX : WARN_PREFIX, level, format, args))
        return;
    mpStream->Flush();
    if (s.mFlush && level == 0)
        WriteToStderr(s.mpLineBuf);
}

void LogManager::PANIC(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    PANIC(level, format, args);
    va_end(args);
}

void LogManager::PostLogMsg(long type) {
    LogState& s = *mpState;
    s.mRetryCount = 0;
    while (
        !s.mpQueue->SendMessage(type, s.mpLineBuf, static_cast<unsigned long>(s.mMessageLength))) {
        if (s.mRetryCount >= s.mQueueDepth)
            return;  // dropped, as a full log must not stall callers
        ++s.mRetryCount;
        // Wait for the writer to finish the line it is writing.
        s.mpWriterLock->Lock();
        s.mpWriterLock->Unlock();
    }
}

unsigned long LogManager::LogWriteProc(void* manager) {
    LogManager* self = static_cast<LogManager*>(manager);
    LogState& s = *self->mpState;
    CyclicQueue* queue = s.mpQueue;  // one queue for the manager's life
    char* buffer = new char[s.mBufferSize];
    long type = 0;
    // GetMessage fails only once the destructor has closed the queue and it is empty.
    while (queue->GetMessage(&type, buffer, s.mBufferSize) >= 0) {
        buffer[s.mBufferSize - 1] = '\0';
        ThreadMutexLock hold(*s.mpWriterLock);
        self->mpStream->TRACE(buffer, 3, 0);
        if (s.mFlush) {
            self->mpStream->Flush();
            if (type == 0)
                WriteToStderr(buffer);
        }
    }
    delete[] buffer;
    return 0;
}

void LogManager::SetOptions(bool flush, bool timeStamps, const char* prefix) {
    LogState& s = *mpState;
    ThreadMutexLock hold(*s.mpCallerLock);
    // The writer thread reads the flush flag under its own lock.
    {
        ThreadMutexLockIf writer(s.mpWriterLock);
        s.mFlush = flush;
    }
    s.mStamp = timeStamps;
    s.mIndentReady = 0;
    if (!prefix) {
        s.mpWritePos = s.mpLineBuf;
        return;
    }
    // Appended after a prefix already set; cut to what the indent buffer holds.
    const size_t used = static_cast<size_t>(s.mpWritePos - s.mpLineBuf);
    size_t length = std::strlen(prefix);
    const size_t limit = kMaxPrefix < s.mBufferSize ? kMaxPrefix : s.mBufferSize;
    if (used + length + 1 > limit)
        length = limit > used + 1 ? limit - used - 1 : 0;
    // The prefix ends in a NUL, which becomes the blank before the stamp
    // unless nothing is written at all.
    std::memcpy(s.mpWritePos, prefix, length);
    char* const blank = s.mpWritePos + length;
    *blank = '\0';
    s.mpWritePos = blank + 1;
    if (s.mpWritePos - s.mpLineBuf > 1) {
        *blank = ' ';
        std::memcpy(s.mpIndentBuf, s.mpLineBuf, static_cast<size_t>(s.mpWritePos - s.mpLineBuf));
    } else {
        s.mpWritePos = s.mpLineBuf;
    }
}

std::string LogManager::GetIndent() {
    LogState& s = *mpState;
    if (!s.mIndentReady) {
        const size_t prefix = static_cast<size_t>(s.mpWritePos - s.mpLineBuf);
        const size_t blanks = static_cast<size_t>(s.mStampLength + kSeparatorLength);
        std::memset(s.mpIndentBuf + prefix, ' ', blanks);
        s.mpIndentBuf[prefix + blanks] = '\0';
        s.mIndentReady = 1;
    }
    return s.mpIndentBuf;
}

const std::string& LogManager::Path() const {
    return mpStream->Path();
}

std::string LogManager::Problem() const {
    return mpStream->Problem();
}
