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

void ThreadMutex::Unlock() {
    int rc = pthread_mutex_unlock(&mMutex);
    assert(rc == 0);
    (void)rc;
}
