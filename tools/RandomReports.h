#pragma once

#include <cstdint>
#include <random>

#include "platform/msg/WireMessage.h"

// Varied, realistic call detail reports with statistics, the same sequence
// for the same seed. Kinds cycle 1, 2, 4. Not thread-safe.
class RandomReports {
public:
    explicit RandomReports(uint32_t seed);

    // Fills *MESSAGE with the next report.
    void Next(WireMessage* message);

private:
    std::mt19937 mRng;
    uint32_t mCount = 0;
    int32_t mClock;
};
