#pragma once

#include <cstdint>
#include <string>

// Settings of the three record databases, filled by CDRManager::GetCDRData
// from the device's general settings and paths.
struct CDRSettings {
    int32_t mCDREnabled = 1;  // nonzero: records go to the record databases
    std::string mStatedFile;
    std::string mMissedFile;
    std::string mFailedFile;
    // Start values are the general settings' defaults: a key whose value
    // cannot be read keeps them at start-up (and its value in force later).
    uint32_t mStatedMaxRecords = 1000;
    uint32_t mMissedMaxRecords = 1000;
    uint32_t mFailedMaxRecords = 1000;
    uint32_t mStatedSaveInterval = 10;
    uint32_t mMissedSaveInterval = 10;
    uint32_t mFailedSaveInterval = 10;
};
