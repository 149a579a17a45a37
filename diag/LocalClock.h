#pragma once

#include <cstdint>
#include <ctime>

// Local time where localtime may not be called: in a signal handler, which
// may have interrupted a thread that holds the C library's time-zone lock.
//
// The offset from UTC is taken outside the handler, by Remember: at the
// crash guard's set-up and whenever the log manager stamps a new second, so
// a change to or from summer time is followed as soon as the next trace.
// Read and Split use only the clock (System::ClockGettime) and arithmetic:
// safe in a signal handler and on any thread.
class LocalClock {
public:
    // Takes the UTC offset in force at NOW (localtime_r; not signal-safe).
    static void Remember(time_t now);
    // The same with an offset already known, in seconds east of UTC.
    static void RememberOffset(long seconds);

    // Now, in local time; false when the clock cannot be read.
    static bool Read(struct tm* local);
    // SECONDS since the epoch, in local time by the remembered offset:
    // tm_year, tm_mon, tm_mday, tm_hour, tm_min, tm_sec and tm_wday are set.
    static void Split(int64_t seconds, struct tm* local);
};
