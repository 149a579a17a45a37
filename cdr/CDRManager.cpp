#include "cdr/CDRManager.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>

#include "diag/LogManager.h"

LogManager* CDRManager::mpLogger = nullptr;

CDRManager::CDRManager()
    : CDRCommonMessenger(),
      mSettings(),
      mpFiles(nullptr),
      mAutoDownload(0),
      mDownloadCount(0),
      mpStatFile(nullptr) {
    mpLogger = new LogManager("cdr.log", true, true, 0, 8192);
    try {
        mpFiles = new CDRFiles;
        mpFiles->mpLock = new ThreadMutex;
        mpFiles->mpValueBuf = new char[CDRFiles::kValueBufSize]();
        Init();
    } catch (...) {
        // No destructor runs for a constructor that throws: what was built goes here.
        Teardown();
        throw;
    }
}

CDRManager::~CDRManager() noexcept(false) {
    Teardown();
}

void CDRManager::Teardown() {
    delete mpStatFile;
    mpStatFile = nullptr;
    if (mpFiles) {
        delete mpFiles->mpLock;
        for (Configuration::MultiSectionFile* file : mpFiles->mpFile) delete file;
        delete[] mpFiles->mpValueBuf;
        delete mpFiles;
        mpFiles = nullptr;
    }
    delete mpLogger;  // the pointer keeps its value: no trace may follow
}

void CDRManager::Init() {
    GetCDRData();
    ReadJournalSetting();
    InitFiles(mSettings.mStatedFile.c_str(), mSettings.mMissedFile.c_str(),
              mSettings.mFailedFile.c_str());
    if (!IsCDRFilesExist())
        TRACEX("Call details log file(s) was not been created!\n");
    InitSizes(mSettings.mStatedMaxRecords, mSettings.mMissedMaxRecords, mSettings.mFailedMaxRecords,
              mSettings.mStatedSaveInterval, mSettings.mMissedSaveInterval,
              mSettings.mFailedSaveInterval);
    if (!InitAutoDownloadSettings())
        TRACEX("Auto Download Settings cann't be read!\n");
    RecoverJournals();
}

void CDRManager::Run() {
    // One sync of the journals for all the reports of one wake-up.
    mpPoller->SetBeforeWait(
        [](void* manager) { static_cast<CDRManager*>(manager)->SyncJournals(); }, this);
    SelectQueues();
    WaitForMessagingEvent();
}

void CDRManager::TRACEX(const char* format, ...) {
    va_list args;
    va_start(args, format);
    mpLogger->TRACE(format, args);
    va_end(args);
}

void CDRManager::ALERT(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    TRACEX("%s", line);
    syslog(LOG_ERR, "%s", line);
}
