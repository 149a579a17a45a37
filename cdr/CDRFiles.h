#pragma once

#include <cstdint>
#include <string>

#include "platform/config/MultiSectionFile.h"
#include "platform/util/SockAddr.h"
#include "platform/util/ThreadMutex.h"

// The three record databases and their counters, indexed 0 stated, 1 missed,
// 2 failed. Owned by CDRManager, which creates the mutex and the scratch
// buffer with the block and deletes them, and the databases, with it.
// Everything here is used under mpLock, except during start-up.
struct CDRFiles {
    static constexpr size_t kValueBufSize = 256;

    Configuration::MultiSectionFile* mpFile[3] = {};  // null: not open, skipped by every user
    std::string mFileName[3];                         // the path it was opened with
    uint32_t mMaxRecords[3] = {1, 1, 1};
    uint32_t mSaveInterval[3] = {1, 1, 1};
    uint32_t mUnsavedCount[3] = {};
    uint32_t mNextId[3] = {};
    ThreadMutex* mpLock = nullptr;
    char* mpValueBuf = nullptr;  // kValueBufSize bytes of scratch text
    SockAddr mAddr;              // scratch address converter
};
