#pragma once
// Which lock guards what, for clang's thread-safety analysis
// (-Wthread-safety, the lint leg of scripts/check). Other compilers see
// nothing.
#if defined(__clang__)
#define CDR_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define CDR_THREAD_ATTRIBUTE(x)
#endif

// A class whose objects are locks.
#define CAPABILITY(name) CDR_THREAD_ATTRIBUTE(capability(name))
// A class that holds a lock for its own lifetime.
#define SCOPED_CAPABILITY CDR_THREAD_ATTRIBUTE(scoped_lockable)
// A member read or written only with the lock held.
#define GUARDED_BY(lock) CDR_THREAD_ATTRIBUTE(guarded_by(lock))
// A pointer member whose target is used only with the lock held.
#define PT_GUARDED_BY(lock) CDR_THREAD_ATTRIBUTE(pt_guarded_by(lock))
// A function that takes, gives back, or must be called holding the lock.
#define ACQUIRE(...) CDR_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) CDR_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define REQUIRES(...) CDR_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
// A function the analysis cannot follow; say why where it is used.
#define NO_THREAD_SAFETY_ANALYSIS CDR_THREAD_ATTRIBUTE(no_thread_safety_analysis)
