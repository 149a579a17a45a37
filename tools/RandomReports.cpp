#include "tools/RandomReports.h"

#include <cstdio>

#include "platform/msg/CDRKind.h"

namespace {

const char* const kNames[] = {"Reception",    "Sales desk", "Dr. Müller",        "Lab 3",
                              "Night porter", "O'Brien",    "Support, 2nd line", "Fax room"};
const uint16_t kCodecs[] = {0, 8, 18, 9, 4, 3, 15};

}  // namespace

RandomReports::RandomReports(uint32_t seed) : mRng(seed), mClock(1764950400) {}

void RandomReports::Next(WireMessage* m) {
    auto pick = [this](uint32_t n) { return static_cast<uint32_t>(mRng() % n); };
    char text[96];
    *m = WireMessage();
    m->mType = WireMessage::kReport;
    m->mKind = kCDRKinds[mCount++ % 3];
    CallDetailReport& r = m->mReport;
    mClock += static_cast<int32_t>(1 + pick(120));  // strictly increasing: order is visible
    r.mStartTime = mClock;
    r.mDuration = m->mKind == 1 ? pick(3600) : 0;
    snprintf(text, sizeof text, "+49%u%07u", 30 + pick(60), pick(10000000));
    r.mCalled = text;
    snprintf(text, sizeof text, "%s <sip:%u@pbx.example.net>", kNames[pick(8)], 200 + pick(100));
    r.mCaller = text;
    snprintf(text, sizeof text, "%08x-%04x-4%03x-a%03x-%08x%04x", pick(0xFFFFFFFFu), pick(0x10000),
             pick(0x1000), pick(0x1000), pick(0xFFFFFFFFu), pick(0x10000));
    r.mGuid = text;
    if (pick(4) == 0)
        r.mAuthUserName = "user" + std::to_string(pick(50));
    r.mClirCaller = pick(10) == 0;

    m->mHasStatistics = true;
    CallStatistics& s = m->mStatistics;
    MediaStreamStatistics* streams[] = {&s.mStream1, &s.mStream2};
    const bool twoStreams = pick(3) == 0;
    for (int i = 0; i < (twoStreams ? 2 : 1); ++i) {
        MediaStreamStatistics& st = *streams[i];
        const uint16_t codec = kCodecs[pick(7)];
        st.mLocalAddress = 0xC0A80A00u | (1 + pick(250));
        st.mRemoteAddress = 0x0AC81F00u | (1 + pick(250));
        st.mLocalPort = static_cast<uint16_t>(10000 + 2 * pick(5000));
        st.mRemotePort = static_cast<uint16_t>(30000 + 2 * pick(5000));
        st.mPacketsSent = r.mDuration * 50 + pick(50);
        st.mSendCodec = codec;
        st.mSendPacketSize = 160;
        st.mPacketsReceived = st.mPacketsSent > 20 ? st.mPacketsSent - pick(20) : st.mPacketsSent;
        st.mReceiveCodec = codec;
        st.mReceivePacketSize = 160;
        st.mPacketsLost = static_cast<uint16_t>(pick(20));
        st.mJitter = pick(40);
        st.mMaxDelay = 20 + pick(120);
        st.mDelayIncrease = pick(5) == 0 ? 0xFFFF : static_cast<uint16_t>(pick(8));
        st.mDelayDecrease = pick(5) == 0 ? 0xFFFF : static_cast<uint16_t>(pick(8));
    }
    if (pick(20) == 0) {
        s.mFax.mPacketsSent = 100 + pick(900);
        s.mFax.mPacketsReceived = 100 + pick(900);
        s.mFax.mDuplicatePacketsSent = pick(10);
        s.mFax.mDuplicatePacketsReceived = pick(10);
        s.mFax.mPacketsLost = static_cast<uint16_t>(pick(5));
        s.mFax.mAnamnesis = pick(2) ? "T.38 14400 bps, 3 pages" : "ECM retransmissions: 2";
    }
}
