#pragma once

#include <cstdint>
#include <string>

#include "platform/config/MultiSectionFile.h"
#include "platform/util/SockAddr.h"
#include "platform/util/ThreadMutex.h"

// The three record databases and their counters, indexed 0 stated, 1 missed,
// 2 failed. Owned by CDRManager, which creates the mutex and the scratch
// buffer with the block and deletes them, and the databases, with it.
// Everything here is used under mpLock, which is set once before any use.
struct CDRFiles {
    static constexpr size_t kValueBufSize = 256;

    ThreadMutex* mpLock = nullptr;
    // null: not open, skipped by every user
    Configuration::MultiSectionFile* mpFile[3] GUARDED_BY(mpLock) = {};
    std::string mFileName[3] GUARDED_BY(mpLock);  // the path it was opened with
    uint32_t mMaxRecords[3] GUARDED_BY(mpLock) = {1, 1, 1};
    uint32_t mSaveInterval[3] GUARDED_BY(mpLock) = {1, 1, 1};
    uint32_t mUnsavedCount[3] GUARDED_BY(mpLock) = {};
    uint32_t mNextId[3] GUARDED_BY(mpLock) = {};
    char* mpValueBuf PT_GUARDED_BY(mpLock) = nullptr;  // kValueBufSize bytes of scratch text
    SockAddr mAddr GUARDED_BY(mpLock);                 // scratch address converter
};
