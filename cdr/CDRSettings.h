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
    // Start value 0: InitSizes keeps the limit in force for it. A settings load
    // that fails before the limits then trims nothing at start-up, and writing
    // removes one old record per new one, so no database loses records to it.
    uint32_t mStatedMaxRecords = 0;
    uint32_t mMissedMaxRecords = 0;
    uint32_t mFailedMaxRecords = 0;
    uint32_t mStatedSaveInterval = 10;
    uint32_t mMissedSaveInterval = 10;
    uint32_t mFailedSaveInterval = 10;
};
