#include "platform/util/ThreadMutex.h"

#include <cassert>

ThreadMutex::ThreadMutex() {
    int rc = pthread_mutex_init(&mMutex, nullptr);
    assert(rc == 0);  // default attributes need no resources that can run out
    (void)rc;
}

ThreadMutex::~ThreadMutex() {
    pthread_mutex_destroy(&mMutex);
}

void ThreadMutex::Lock() {
    int rc = pthread_mutex_lock(&mMutex);
    assert(rc == 0);  // only EDEADLK/EINVAL, both caller bugs
    (void)rc;
}

ThreadCondition::ThreadCondition() {
    int rc = pthread_cond_init(&mCondition, nullptr);
    assert(rc == 0);  // default attributes need no resources that can run out
    (void)rc;
}

ThreadCondition::~ThreadCondition() {
    pthread_cond_destroy(&mCondition);
}

void ThreadCondition::Wait(ThreadMutex& mutex) {
    int rc = pthread_cond_wait(&mCondition, &mutex.mMutex);
    assert(rc == 0);  // only EINVAL/EPERM, both caller bugs
    (void)rc;
}

void ThreadCondition::Signal() {
    pthread_cond_signal(&mCondition);
}

void ThreadCondition::Broadcast() {
    pthread_cond_broadcast(&mCondition);
}

void ThreadMutex::Unlock() {
    int rc = pthread_mutex_unlock(&mMutex);
    assert(rc == 0);
    (void)rc;
}
