#pragma once

#include <string>
#include <vector>

#include "platform/msg/WireMessage.h"

namespace testing_support {

// Reports whose every field sits at an edge of its width: zero and empty,
// the largest value, 0xFFFF, the most negative start time, the longest text
// (every byte but NUL), and a report without statistics.
inline std::vector<WireMessage> ExtremeReports() {
    std::string allBytes;
    for (int c = 1; c < 256; ++c) allBytes.push_back(static_cast<char>(c));
    std::vector<WireMessage> out;

    WireMessage zero;  // all zero and empty, statistics present
    zero.mHasStatistics = true;
    out.push_back(zero);

    WireMessage max;
    max.mKind = 2147483647;
    CallDetailReport& r = max.mReport;
    r.mStartTime = 2147483647;
    r.mDuration = 0xFFFFFFFFu;
    r.mCalled = r.mCaller = r.mGuid = r.mOcd = r.mCr = r.mAuthUserName = allBytes;
    r.mClirCaller = 0xFFFFFFFFu;
    max.mHasStatistics = true;
    for (MediaStreamStatistics* s : {&max.mStatistics.mStream1, &max.mStatistics.mStream2}) {
        s->mLocalAddress = s->mRemoteAddress = s->mPacketsSent = s->mPacketsReceived = s->mJitter =
            s->mMaxDelay = 0xFFFFFFFFu;
        s->mLocalPort = s->mRemotePort = s->mSendCodec = s->mSendPacketSize = s->mReceiveCodec =
            s->mReceivePacketSize = s->mPacketsLost = s->mDelayIncrease = s->mDelayDecrease =
                0xFFFF;
    }
    FaxStatistics& f = max.mStatistics.mFax;
    f.mPacketsSent = f.mDuplicatePacketsSent = f.mPacketsReceived = f.mDuplicatePacketsReceived =
        0xFFFFFFFFu;
    f.mPacketsLost = f.mBadPacketsReceived = 0xFFFF;
    f.mAnamnesis = allBytes;
    out.push_back(max);

    WireMessage negative = max;  // most negative values, a second stream that differs
    negative.mKind = -2147483647 - 1;
    negative.mReport.mStartTime = -2147483647 - 1;
    negative.mStatistics.mStream2 = MediaStreamStatistics();
    negative.mStatistics.mStream2.mRemoteAddress = 0x0A000001u;
    negative.mStatistics.mStream2.mDelayDecrease = 0xFFFE;
    out.push_back(negative);

    WireMessage bare;  // no statistics at all
    bare.mKind = 4;
    bare.mReport.mStartTime = -1;
    bare.mReport.mCaller = "Alice \"{caller}\"\n=#\\";
    out.push_back(bare);
    return out;
}

}  // namespace testing_support
