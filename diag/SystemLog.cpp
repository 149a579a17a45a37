#include "diag/SystemLog.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "diag/LocalClock.h"
#include "diag/SafeText.h"
#include "platform/sys/System.h"

namespace {

const char* gIdent = "";
int gSocket = -1;
// The crash report is at most 4096 bytes; the header fits in the rest.
char gMessage[4096 + 256];

// Set once the logger has let a message wait out the send time limit.
volatile sig_atomic_t gStalled = 0;

bool Connect() {
    if (gSocket < 0) {
        gSocket = System::Default().Socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (gSocket < 0)
            return false;
        // A logger that reads slowly is waited for, but not for long.
        const timeval limit = {0, 500000};
        System::Default().Setsockopt(gSocket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    sockaddr_un address;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/dev/log");
    return System::Default().Connect(gSocket, reinterpret_cast<sockaddr*>(&address),
                                     sizeof address) == 0;
}

}  // namespace

void SystemLog::Open(const char* ident) {
    gIdent = ident ? ident : "";
    Connect();
}

void SystemLog::Write(int priority, const char* text) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SafeText message(gMessage, sizeof gMessage);
    message << "<";
    message.Number(LOG_USER | priority) << ">";
    struct tm local;
    if (LocalClock::Read(&local)) {
        message << kMonths[local.tm_mon] << (local.tm_mday < 10 ? "  " : " ");
        message.Number(local.tm_mday) << " ";
        message.Number(local.tm_hour, 2) << ":";
        message.Number(local.tm_min, 2) << ":";
        message.Number(local.tm_sec, 2) << " ";
    }
    message << gIdent << "[";
    message.Number(getpid()) << "]: " << text;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (System::Default().Send(gSocket, gMessage, message.Length(),
                                   MSG_NOSIGNAL | (gStalled ? MSG_DONTWAIT : 0)) >= 0)
            return;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            gStalled = 1;  // the rest of the report is not held up again
            return;
        }
        // A logger restarted since has a new socket at the same path.
        if (attempt > 0 || (errno != ECONNREFUSED && errno != ENOTCONN && errno != EBADF) ||
            !Connect())
            return;
    }
}
