#pragma once

#include <cstdint>
#include <string>

// What call control reports about one finished call.
//
// Texts are at most WireFormat::kMaxText bytes and hold no NUL byte; the
// sender refuses longer ones and the receiver never produces them.
struct CallDetailReport {
    int32_t mStartTime = 0;     // seconds since the epoch; may be negative
    uint32_t mDuration = 0;     // seconds
    std::string mCalled;        // called party
    std::string mCaller;        // calling party
    std::string mGuid;          // call GUID
    std::string mOcd;           // OCD text
    std::string mCr;            // cr text
    std::string mAuthUserName;  // authentication user name
    uint32_t mClirCaller = 0;   // non-zero: the caller's identity is restricted

    bool operator==(const CallDetailReport& o) const {
        return mStartTime == o.mStartTime && mDuration == o.mDuration && mCalled == o.mCalled &&
               mCaller == o.mCaller && mGuid == o.mGuid && mOcd == o.mOcd && mCr == o.mCr &&
               mAuthUserName == o.mAuthUserName && mClirCaller == o.mClirCaller;
    }
};
