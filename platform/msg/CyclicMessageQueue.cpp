#include "platform/msg/CyclicMessageQueue.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/msg/QueueAddress.h"
#include "platform/sys/System.h"

namespace {

std::mutex gRegistryLock;
// Receivers by queue number; the newest object of a number receives.
std::map<int, std::vector<CyclicMessageQueue*>>& Registry() {
    static auto* registry = new std::map<int, std::vector<CyclicMessageQueue*>>;
    return *registry;
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path)
        return false;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// True when a live listener answers on PATH: another daemon owns the queue.
bool SomeoneListens(const sockaddr_un& addr) {
    int fd = System::Default().Socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool live =
        System::Default().Connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    System::Default().Close(fd);
    return live;
}

}  // namespace

CyclicMessageQueue::CyclicMessageQueue(int queueId) : mQueueId(queueId) {
    std::lock_guard<std::mutex> hold(gRegistryLock);
    Registry()[queueId].push_back(this);
}

CyclicMessageQueue::~CyclicMessageQueue() noexcept(false) {
    {
        std::lock_guard<std::mutex> hold(gRegistryLock);
        std::vector<CyclicMessageQueue*>& same = Registry()[mQueueId];
        same.erase(std::remove(same.begin(), same.end(), this), same.end());
    }
    for (const Party& p : mParties) System::Default().Close(p.mFd);
    if (mListenFd >= 0) {
        System::Default().Close(mListenFd);
        System::Default().Unlink(mPath.c_str());
    }
}

CyclicMessageQueue* CyclicMessageQueue::Find(int queueId) {
    std::lock_guard<std::mutex> hold(gRegistryLock);
    auto it = Registry().find(queueId);
    return it == Registry().end() || it->second.empty() ? nullptr : it->second.back();
}

bool CyclicMessageQueue::Open() {
    if (mListenFd >= 0)
        return true;
    const std::string path = QueueAddress::PathOf(mQueueId);
    sockaddr_un addr;
    int fd = -1;
    std::string failure = CheckDirectory(QueueAddress::Directory());
    if (failure.empty() && !FillAddress(path, &addr))
        failure = "socket path too long";
    if (failure.empty())
        failure = ClearPath(path, addr);
    if (failure.empty())
        failure = Listen(addr, &fd);
    if (!failure.empty()) {
        if (mOpenFailure.empty())
            Report("cannot listen on " + path + ": " + failure);
        mOpenFailure = failure;
        return false;
    }
    if (!mOpenFailure.empty())
        Report("listening on " + path);
    mOpenFailure.clear();
    mListenFd = fd;
    mPath = path;
    return true;
}

std::string CyclicMessageQueue::CheckDirectory(const std::string& dir) {
    System& sys = System::Default();
    if (sys.Mkdir(dir.c_str(), 0770) == 0)
        sys.Chmod(dir.c_str(), 0770);  // mode regardless of umask
    // Whoever may write in it may take a queue's name before the daemon.
    struct stat st;
    if (sys.Lstat(dir.c_str(), &st) != 0)
        return "queue directory " + dir + ": " + strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return "queue directory " + dir + " is not a directory (nor followed as a link)";
    if (st.st_uid != geteuid() && st.st_uid != 0)
        return "queue directory " + dir + " is owned by another user (" +
               std::to_string(st.st_uid) + ")";
    if (st.st_mode & S_IWOTH)
        return "queue directory " + dir + " is writable by others";
    return "";
}

std::string CyclicMessageQueue::ClearPath(const std::string& path, const sockaddr_un& addr) {
    System& sys = System::Default();
    struct stat st;
    const bool found = sys.Lstat(path.c_str(), &st) == 0;
    if (found && S_ISDIR(st.st_mode))
        return "a directory stands at the socket path";
    if (found && S_ISSOCK(st.st_mode) && SomeoneListens(addr))
        return "another process listens on it";
    // A stale socket, or anything planted there: removed, never followed.
    if (sys.Unlink(path.c_str()) != 0 && errno != ENOENT)
        return std::string("cannot remove the old file: ") + strerror(errno);
    return "";
}

std::string CyclicMessageQueue::Listen(const sockaddr_un& addr, int* listenFd) {
    const int fd =
        System::Default().Socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return std::string("socket: ") + strerror(errno);
    // bind creates the file: the umask gives it 0660 from the start, with no
    // window in which others could connect.
    const mode_t old = System::Default().Umask(0117);
    const int rc =
        System::Default().Bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    const int err = errno;
    System::Default().Umask(old);
    if (rc != 0 || System::Default().Listen(fd, 16) != 0) {
        const std::string failure =
            std::string(rc != 0 ? "bind: " : "listen: ") + strerror(rc != 0 ? err : errno);
        System::Default().Close(fd);
        return failure;
    }
    *listenFd = fd;
    return "";
}

bool CyclicMessageQueue::HasPendingEvent() const {
    if (mListenReady)
        return true;
    for (const Party& p : mParties)
        if (p.mReady)
            return true;
    return false;
}

void CyclicMessageQueue::CollectPollFds(std::vector<pollfd>* fds) const {
    fds->push_back(pollfd{mListenFd, POLLIN, 0});
    for (const Party& p : mParties) fds->push_back(pollfd{p.mFd, POLLIN, 0});
}

void CyclicMessageQueue::MarkReady(const pollfd* fds) {
    mListenReady = fds[0].revents != 0;
    for (size_t i = 0; i < mParties.size(); ++i) mParties[i].mReady = fds[i + 1].revents != 0;
}

int CyclicMessageQueue::ProcessMessageFromQueue(int maxEvents) {
    int handled = 0;
    while (handled < maxEvents && HandleOneEvent()) ++handled;
    return handled;
}

bool CyclicMessageQueue::HandleOneEvent() {
    // Parties in turn, starting after the last one served.
    for (size_t k = 0, n = mParties.size(); k < n; ++k) {
        size_t i = (mNextParty + k) % n;
        if (!mParties[i].mReady)
            continue;
        mParties[i].mReady = false;
        mNextParty = i + 1;
        if (Receive(i))
            return true;
    }
    if (mListenReady) {
        mListenReady = false;
        if (Accept())
            return true;
    }
    return false;
}

bool CyclicMessageQueue::Receive(size_t index) {
    ssize_t n = System::Default().Recv(mParties[index].mFd, mBuffer, sizeof mBuffer,
                                       MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return false;
    if (n <= 0) {  // end of stream (or a reset): the party is gone
        DropParty(index);
        return true;
    }
    if (static_cast<size_t>(n) > WireFormat::kMaxMessage) {
        Refuse(index, "datagram longer than any message");
        return true;
    }
    WireMessage message;
    if (const char* why = WireFormat::Decode(mBuffer, static_cast<size_t>(n), &message)) {
        Refuse(index, why);
        return true;
    }
    struct CurrentParty {  // reset also when a handler throws
        long& current;
        CurrentParty(long& c, size_t i) : current(c) { current = static_cast<long>(i); }
        ~CurrentParty() { current = -1; }
    };
    bool taken;
    {
        CurrentParty hold(mCurrent, index);
        taken = Dispatch(message);
    }
    if (!taken) {
        Refuse(index, "message type not taken on this queue");
    } else {
        ++mCounters.mMessages;
        if (mParties[index].mClosing)
            DropParty(index);
        else
            // It may have sent more: served again in its turn without a wait,
            // so that the messages of one wake-up are handled together.
            mParties[index].mReady = true;
    }
    return true;
}

bool CyclicMessageQueue::Accept() {
    int fd = System::Default().Accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
            Report(std::string("accept: ") + strerror(errno));
        return false;
    }
    if (mParties.size() >= kMaxParties) {
        System::Default().Close(fd);
        ++mCounters.mPartiesRefused;
        Report("refused a connection: too many parties");
        return true;
    }
    mParties.push_back(Party{fd, false, false});
    OnPartyStateChanged(true);
    return true;
}

void CyclicMessageQueue::Refuse(size_t index, const char* why) {
    ++mCounters.mBadMessages;
    Report(std::string("refused a message: ") + why);
    DropParty(index);
}

void CyclicMessageQueue::DropParty(size_t index) {
    System::Default().Close(mParties[index].mFd);
    mParties.erase(mParties.begin() + static_cast<long>(index));
    if (mNextParty > index)
        --mNextParty;
    OnPartyStateChanged(false);
}

int CyclicMessageQueue::SendAnswer(const WireMessage& answer) {
    if (mCurrent < 0) {
        ++mCounters.mAnswersDropped;
        return 0;
    }
    Party& party = mParties[static_cast<size_t>(mCurrent)];
    std::string bytes, error;
    if (!WireFormat::Encode(answer, &bytes, &error)) {
        ++mCounters.mAnswersDropped;
        Report("cannot send an answer: " + error);
        return 0;
    }
    if (System::Default().Send(party.mFd, bytes.data(), bytes.size(),
                               MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size()))
        return 1;
    ++mCounters.mAnswersDropped;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        Report("closed a party that does not read its answers");
    party.mClosing = true;
    return 0;
}

void CyclicMessageQueue::Report(const std::string& what) {
    // A hostile peer must not be able to flood the system log.
    // A clock that cannot be read limits nothing: better a report too many.
    struct timespec clock;
    const bool read = System::Default().ClockGettime(CLOCK_MONOTONIC, &clock) == 0;
    const time_t now = read ? clock.tv_sec : 0;
    if (read && now == mLastReport) {
        ++mUnreported;
        return;
    }
    mLastReport = now;
    std::string line = "msgq q" + std::to_string(mQueueId) + ": " + what;
    if (mUnreported)
        line += " (" + std::to_string(mUnreported) + " more since the last report)";
    mUnreported = 0;
    syslog(LOG_WARNING, "%s", line.c_str());
}
