#pragma once

#include <pthread.h>

#include "platform/util/ThreadAnnotations.h"

// A plain, non-recursive mutual-exclusion lock.
//
// Any thread may call Lock and Unlock; Unlock must come from the thread that
// holds the lock. The mutex must not be held when it is destroyed. Not
// copyable: the lock's identity is its address.
class CAPABILITY("mutex") ThreadMutex {
public:
    ThreadMutex();
    ~ThreadMutex();
    ThreadMutex(const ThreadMutex&) = delete;
    ThreadMutex& operator=(const ThreadMutex&) = delete;

    void Lock() ACQUIRE();
    void Unlock() RELEASE();

private:
    friend class ThreadCondition;
    pthread_mutex_t mMutex;
};

// A change that threads wait for under a ThreadMutex, and others announce
// holding it. Not copyable; no thread may wait on it when it is destroyed.
class ThreadCondition {
public:
    ThreadCondition();
    ~ThreadCondition();
    ThreadCondition(const ThreadCondition&) = delete;
    ThreadCondition& operator=(const ThreadCondition&) = delete;

    // Gives MUTEX up while it waits and holds it again when it returns,
    // which may be without a Signal: callers wait in a loop on their test.
    void Wait(ThreadMutex& mutex) REQUIRES(mutex);
    void Signal();     // wakes one waiter
    void Broadcast();  // wakes every waiter

private:
    pthread_cond_t mCondition;
};

// Holds a ThreadMutex for the life of a scope, so every way out unlocks it.
class SCOPED_CAPABILITY ThreadMutexLock {
public:
    explicit ThreadMutexLock(ThreadMutex& mutex) ACQUIRE(mutex) : mMutex(mutex) { mMutex.Lock(); }
    ~ThreadMutexLock() RELEASE() { mMutex.Unlock(); }
    ThreadMutexLock(const ThreadMutexLock&) = delete;
    ThreadMutexLock& operator=(const ThreadMutexLock&) = delete;

private:
    ThreadMutex& mMutex;
};

// Holds MUTEX for the life of a scope when there is one (null: no lock).
class SCOPED_CAPABILITY ThreadMutexLockIf {
public:
    // The analysis cannot follow a lock taken on one path only; callers see
    // the mutex held.
    explicit ThreadMutexLockIf(ThreadMutex* mutex) ACQUIRE(mutex) NO_THREAD_SAFETY_ANALYSIS
        : mMutex(mutex) {
        if (mMutex)
            mMutex->Lock();
    }
    ~ThreadMutexLockIf() RELEASE() NO_THREAD_SAFETY_ANALYSIS {
        if (mMutex)
            mMutex->Unlock();
    }
    ThreadMutexLockIf(const ThreadMutexLockIf&) = delete;
    ThreadMutexLockIf& operator=(const ThreadMutexLockIf&) = delete;

private:
    ThreadMutex* mMutex;
};
