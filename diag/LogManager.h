#pragma once

#include <sys/timeb.h>

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <string>

class CyclicQueue;
class LogStream;
class ThreadMutex;

// Severity tags of PANIC lines: ten characters each, trailing blank included.
extern const char* ERR_PREFIX;
extern const char* WARN_PREFIX;

// The shared state of a LogManager. All buffers are made at construction.
struct LogState {
    ThreadMutex* mpCallerLock;  // serialises TRACE, PANIC and SetOptions
    ThreadMutex* mpWriterLock;  // queued mode: held while one line is written
    CyclicQueue* mpQueue;       // queued mode: composed lines to the writer
    struct timeb* mpTime;       // the clock reading of the current stamp
    char* mpLineBuf;            // the line being composed
    char* mpIndentBuf;          // 64 bytes: the prefix, then the indent
    char* mpWritePos;           // where the stamp begins: just after the prefix
    int32_t mFlush;             // flush after each line; echo error lines
    int32_t mStamp;             // compose stamped lines here
    int32_t mIndentReady;
    time_t mLastSecond;
    uint32_t mBufferSize;
    uint32_t mQueueDepth;     // 0: direct mode
    int32_t mStampLength;     // of the last "%H:%M:%S." text
    uint32_t mRetryCount;     // attempts of PostLogMsg for the current line
    int32_t mMessageLength;   // last expansion, then the bytes handed to the queue
    int16_t mBannerCounter;   // new seconds towards the date banner
    unsigned long mWriterId;  // queued mode: the writer thread, joined on destruction
};

// The daemon's trace log: printf-style messages become time-stamped lines
// in a LogStream.
//
// A line is [prefix and a blank] "HH:MM:SS." (eight blanks and "." within
// an already stamped second) milliseconds "%03hu" and two blanks, [a PANIC
// tag], the message. Every 32nd line that opens a new second is preceded by a
// date banner line.
//
// Direct mode (queue depth 0): the calling thread writes each line. Queued
// mode: stamped lines without a prefix go through a bounded queue to a writer
// thread; other lines are written by the caller, under the writer's lock too,
// so one lock covers both writers. Destroying a queued-mode manager drains
// the queue and stops the writer thread before anything is released.
//
// Any thread may call TRACE, PANIC and SetOptions. GetIndent takes no lock:
// call it from the thread that sets options. Composing a line allocates
// nothing. Nothing is reported about the log's own failures.
class LogManager {
public:
    LogManager(const char* name, bool streamFlag1, bool streamFlag2, unsigned int queueDepth,
               unsigned int bufferSize);
    virtual ~LogManager();
    LogManager(const LogManager&) = delete;
    LogManager& operator=(const LogManager&) = delete;

    void TRACE(const char*& format, va_list& args);
    void TRACE(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Level 0: an error line ("<<ERROR>> "), any other level a warning.
    void PANIC(int level, const char*& format, va_list& args);
    void PANIC(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // The prefix is cut where it would not leave room for the indent in the
    // 64-byte indent buffer.
    void SetOptions(bool flush, bool timeStamps, const char* prefix);
    std::string GetIndent();
    // The log file's path, and why it is not written (empty while it is).
    const std::string& Path() const;
    std::string Problem() const;

private:
    void FormatTime();
    void WriteUnstamped(unsigned char level, const char*& format, va_list& args);
    // Stamps and expands a line (with TAG when given) and hands it on: to the
    // queue in queued mode without a prefix, else to the stream. True when
    // this thread wrote it to the stream; false when queued or empty.
    bool ComposeLine(const char* tag, long type, const char*& format, va_list& args);
    void PostLogMsg(long type);
    void WriteLine();
    static unsigned long LogWriteProc(void* manager);

    LogStream* mpStream;
    LogState* mpState;
};
