#pragma once

// The system log for a signal handler: each message is written with one
// send to the /dev/log datagram socket, in the form syslog itself writes
// ("<PRI>Mmm dd HH:MM:SS IDENT[PID]: TEXT", facility user), with the time
// from LocalClock. syslog may not be called there: it takes a lock that the
// interrupted thread may hold. A logger that does not keep up is waited for
// half a second at most; after that the messages it cannot take are lost
// rather than hold the process.
//
// Open connects at set-up, outside any handler; Write reconnects once when
// the logger was restarted since. All state is static, set by Open on the
// main thread before any handler can run.
class SystemLog {
public:
    // IDENT must outlive every Write (the crash guard's copy does).
    static void Open(const char* ident);
    static void Write(int priority, const char* text);
};
