#include "app/InstanceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/msg/QueueAddress.h"
#include "platform/sys/System.h"
#include "platform/util/ConfigurationBase.h"

InstanceLock::~InstanceLock() {
    for (int i = 0; i < mHeld; ++i) System::Default().Close(mFds[i]);
}

bool InstanceLock::Acquire(std::string* why) {
    // The queue directory as the queues make it, 0770 whatever the
    // file-creation mask: the web side's group connects there.
    return Take(QueueAddress::Directory() + "/", 0770, why) &&
           Take(ConfigurationBase::Directory() + "telephony/", 0, why);
}

bool InstanceLock::Take(const std::string& dir, mode_t mode, std::string* why) {
    System& sys = System::Default();
    if (sys.Mkdir(dir.c_str(), mode ? mode : 0755) == 0 && mode)
        sys.Chmod(dir.c_str(), mode);
    const std::string path = dir + "cdrd.lock";
    const int fd =
        sys.Open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        *why = "cannot lock " + path + ": " + strerror(errno);
        return false;
    }
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (sys.Fcntl(fd, F_SETLK, &lock) != 0) {
        const int error = errno;
        struct flock holder = lock;
        if ((error == EACCES || error == EAGAIN) && sys.Fcntl(fd, F_GETLK, &holder) == 0 &&
            holder.l_type != F_UNLCK)
            *why = "already running: pid " + std::to_string(holder.l_pid) + " holds " + path;
        else
            *why = "cannot lock " + path + ": " + strerror(error);
        sys.Close(fd);
        return false;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (sys.Ftruncate(fd, 0) == 0)
        sys.WriteAll(fd, pid.data(), pid.size());
    mFds[mHeld++] = fd;
    return true;
}
