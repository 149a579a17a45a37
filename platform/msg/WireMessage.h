#pragma once

#include <cstdint>

#include "platform/msg/CallDetailReport.h"
#include "platform/msg/CallStatistics.h"
#include "platform/msg/RecordQuery.h"
#include "platform/msg/RecorderStatus.h"

// One message of the queue protocol, decoded. Which fields count depends on
// the type; the others keep their defaults.
struct WireMessage {
    enum Type : uint8_t {
        kReport = 1,                  // call control -> daemon, queue 15
        kClear = 2,                   // web side -> daemon, queue 111; mMask
        kFlush = 3,                   // mMask
        kUpdateSettings = 4,          //
        kUpdateDownloadSettings = 5,  // no answer
        kDownloadNow = 6,             // no answer
        kStatus = 7,                  //
        kRead = 8,                    // mQuery
        kClearDone = 0x82,            // daemon -> web side; mMask as received
        kFlushDone = 0x83,            // mMask as received
        kSettingsUpdated = 0x84,      //
        kStatusReport = 0x87,         // mStatus
        kRecords = 0x88,              // mPage
    };

    Type mType = kReport;
    int32_t mKind = 0;  // kReport: 1 stated, 2 missed, 4 failed (others passed on)
    int32_t mMask = 0;  // database selector bits of clear and flush
    CallDetailReport mReport;
    bool mHasStatistics = false;
    CallStatistics mStatistics;
    RecorderStatus mStatus;
    RecordQuery mQuery;
    RecordPage mPage;
};
