#pragma once

#include <string>

// Keeps a second cdrd off the queues and databases of a running one: an
// exclusive lock on the file "cdrd.lock" in the queue directory ($MSGQ_DIR)
// and in the databases' default directory (B"telephony/"), taken before
// any other file is read. The kernel drops the locks at any end of the
// process, SIGKILL included, so none is ever stale; each file holds its
// holder's pid, for a person. The locks are the process's own: a child
// does not inherit them. Files go through the System seam.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True once this process holds both locks. Else *WHY names the running
    // one ("already running: pid 123 holds /var/run/msgq/cdrd.lock"), or
    // says what failed.
    bool Acquire(std::string* why);

private:
    // Locks DIR"cdrd.lock". A missing directory is made with MODE, or with
    // 0755 less the file-creation mask when MODE is 0.
    bool Take(const std::string& dir, mode_t mode, std::string* why);

    int mFds[2] = {-1, -1};
    int mHeld = 0;
};
