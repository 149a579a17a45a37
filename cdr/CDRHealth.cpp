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

void CDRHealth::Event(Problem event) {
    if (mEvents.size() >= kMaxEvents) {
        ++mEventsLeftOut;
        return;
    }
    Outcome at;
    at.Done(true);
    const time_t t = static_cast<time_t>(at.mTime);
    struct tm local;
    char when[32];
    if (localtime_r(&t, &local) && strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local))
        event.mWhat += std::string(" at ") + when;
    mEvents.push_back(std::move(event));
}

void CDRHealth::Downloaded(bool ok, const std::string& why) {
    mLastDownload.Done(ok);
    mDownloadFailure = ok ? Problem()
                          : Problem{"statistics download", 0, "", why.empty() ? "failed" : why,
                                    "the collected records wait for the next download"};
}

void CDRHealth::MovedAside(const std::string& path, std::string why, const std::string& aside) {
    if (why.compare(0, path.size() + 2, path + ": ") == 0)
        why.erase(0, path.size() + 2);
    Event({path, 0, "", why, "moved aside to " + aside});
}

std::vector<Problem> CDRHealth::Problems() const {
    std::vector<Problem> all;
    for (const auto& [file, problems] : mSettings)
        all.insert(all.end(), problems.begin(), problems.end());
    all.insert(all.end(), mEvents.begin(), mEvents.end());
    if (mEventsLeftOut > 0)
        all.push_back({"cdrd", 0, "", std::to_string(mEventsLeftOut) + " more",
                       "not listed here; see the trace log"});
    for (const auto& [reason, count] : mRefused)
        all.push_back({"reports", 0, "", std::to_string(count) + " " + reason, "refused"});
    if (!mDownloadFailure.Empty())
        all.push_back(mDownloadFailure);
    return all;
}
