#include "cdr/CDRHealth.h"

#include <time.h>

#include <utility>

#include "platform/sys/System.h"

void CDRHealth::Outcome::Done(bool ok, std::string error) {
    timespec now;
    // A clock that cannot be read (the device past 2038) must not read as "never".
    mTime = System::Default().ClockGettime(CLOCK_REALTIME, &now) == 0 && now.tv_sec > 0 ? now.tv_sec
                                                                                        : 1;
    mOk = ok;
    mError = std::move(error);
}
