#pragma once

#include <pthread.h>

// A plain, non-recursive mutual-exclusion lock.
//
// Any thread may call Lock and Unlock; Unlock must come from the thread that
// holds the lock. The mutex must not be held when it is destroyed. Not
// copyable: the lock's identity is its address.
class ThreadMutex {
public:
    ThreadMutex();
    ~ThreadMutex();
    ThreadMutex(const ThreadMutex&) = delete;
    ThreadMutex& operator=(const ThreadMutex&) = delete;

    void Lock();
    void Unlock();

private:
    pthread_mutex_t mMutex;
};

// Holds a ThreadMutex for the life of a scope, so every way out unlocks it.
class ThreadMutexLock {
public:
    explicit ThreadMutexLock(ThreadMutex& mutex) : mMutex(mutex) { mMutex.Lock(); }
    ~ThreadMutexLock() { mMutex.Unlock(); }
    ThreadMutexLock(const ThreadMutexLock&) = delete;
    ThreadMutexLock& operator=(const ThreadMutexLock&) = delete;

private:
    ThreadMutex& mMutex;
};
