#include "diag/LocalClock.h"

#include <atomic>

#include "platform/sys/System.h"

namespace {

std::atomic<long> gOffset{0};
static_assert(std::atomic<long>::is_always_lock_free, "read in a signal handler");

}  // namespace

void LocalClock::Remember(time_t now) {
    struct tm local;
    if (localtime_r(&now, &local))
        RememberOffset(local.tm_gmtoff);
}

void LocalClock::RememberOffset(long seconds) {
    gOffset.store(seconds, std::memory_order_relaxed);
}

bool LocalClock::Read(struct tm* local) {
    struct timespec now;
    if (System::Default().ClockGettime(CLOCK_REALTIME, &now) != 0)
        return false;
    Split(now.tv_sec, local);
    return true;
}

void LocalClock::Split(int64_t seconds, struct tm* local) {
    seconds += gOffset.load(std::memory_order_relaxed);
    int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    local->tm_hour = static_cast<int>(rest / 3600);
    local->tm_min = static_cast<int>(rest / 60 % 60);
    local->tm_sec = static_cast<int>(rest % 60);
    local->tm_wday = static_cast<int>((days % 7 + 11) % 7);  // 1970-01-01 was a Thursday
    // Days to a civil date in the proleptic Gregorian calendar, from eras of
    // 400 years that start on 1 March (H. Hinnant's algorithm).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * dayOfYear + 2) / 153;  // months from March
    local->tm_mday = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    local->tm_mon = static_cast<int>(shifted < 10 ? shifted + 2 : shifted - 10);
    local->tm_year = static_cast<int>(yearOfEra + era * 400 + (local->tm_mon < 2) - 1900);
}
