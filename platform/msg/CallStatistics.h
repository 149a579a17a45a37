#pragma once

#include <cstdint>
#include <string>

// Media statistics of one RTP stream of a call. Addresses are IPv4 numbers
// whose most significant byte is the first part of the dotted text.
struct MediaStreamStatistics {
    uint32_t mLocalAddress = 0;
    uint32_t mRemoteAddress = 0;
    uint16_t mLocalPort = 0;
    uint16_t mRemotePort = 0;
    uint32_t mPacketsSent = 0;
    uint16_t mSendCodec = 0;  // DSP codec code (an RTP static payload type)
    uint16_t mSendPacketSize = 0;
    uint32_t mPacketsReceived = 0;
    uint16_t mReceiveCodec = 0;
    uint16_t mReceivePacketSize = 0;
    uint16_t mPacketsLost = 0;
    uint32_t mJitter = 0;
    uint32_t mMaxDelay = 0;
    uint16_t mDelayIncrease = 0;  // 0xFFFF: not available
    uint16_t mDelayDecrease = 0;  // 0xFFFF: not available

    bool operator==(const MediaStreamStatistics& o) const {
        return mLocalAddress == o.mLocalAddress && mRemoteAddress == o.mRemoteAddress &&
               mLocalPort == o.mLocalPort && mRemotePort == o.mRemotePort &&
               mPacketsSent == o.mPacketsSent && mSendCodec == o.mSendCodec &&
               mSendPacketSize == o.mSendPacketSize && mPacketsReceived == o.mPacketsReceived &&
               mReceiveCodec == o.mReceiveCodec && mReceivePacketSize == o.mReceivePacketSize &&
               mPacketsLost == o.mPacketsLost && mJitter == o.mJitter && mMaxDelay == o.mMaxDelay &&
               mDelayIncrease == o.mDelayIncrease && mDelayDecrease == o.mDelayDecrease;
    }
};

// Statistics of a fax transfer (T.38) of a call.
struct FaxStatistics {
    uint32_t mPacketsSent = 0;
    uint32_t mDuplicatePacketsSent = 0;
    uint32_t mPacketsReceived = 0;
    uint16_t mPacketsLost = 0;
    uint16_t mBadPacketsReceived = 0;
    uint32_t mDuplicatePacketsReceived = 0;
    std::string mAnamnesis;  // at most WireFormat::kMaxText bytes, no NUL

    bool operator==(const FaxStatistics& o) const {
        return mPacketsSent == o.mPacketsSent && mDuplicatePacketsSent == o.mDuplicatePacketsSent &&
               mPacketsReceived == o.mPacketsReceived && mPacketsLost == o.mPacketsLost &&
               mBadPacketsReceived == o.mBadPacketsReceived &&
               mDuplicatePacketsReceived == o.mDuplicatePacketsReceived &&
               mAnamnesis == o.mAnamnesis;
    }
};

// The media statistics that call control may send with a report.
struct CallStatistics {
    MediaStreamStatistics mStream1;
    MediaStreamStatistics mStream2;
    FaxStatistics mFax;

    bool operator==(const CallStatistics& o) const {
        return mStream1 == o.mStream1 && mStream2 == o.mStream2 && mFax == o.mFax;
    }
};
