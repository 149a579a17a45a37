#pragma once

#include <memory>
#include <string>

#include "platform/config/RecordFile.h"
#include "platform/msg/RecordQuery.h"
#include "platform/msg/RecorderStatus.h"
#include "tools/RecorderLink.h"

// Where the call log page's records come from: cdrd, through its read
// command, so that records not yet saved show too; or, when cdrd cannot be
// reached, the saved database files, searched the same way (RecordSearch),
// which the page then says.
//
// One per request, on one thread. Nothing throws: failures leave a sentence
// for a person (DaemonError, FileError).
class CallLog {
public:
    explicit CallLog(int timeoutMs) : mLink(timeoutMs) {}

    // Connects to cdrd; when that fails, loads the saved files of the
    // databases that KINDS selects (bits 1, 2, 4).
    void Open(uint8_t kinds);
    // True when the records come from cdrd.
    bool Live() const { return mLive; }
    // Why cdrd could not be reached, or did not answer.
    const std::string& DaemonError() const { return mDaemonError; }
    // Why database DB's saved file could not be read (files only); "" when it was.
    const std::string& FileError(int db) const { return mFileError[db]; }
    // The path of database DB's file, as cdrd builds it; "" when unknown.
    const std::string& Path(int db) const { return mPath[db]; }

    // The records of QUERY. False, with DaemonError(), when cdrd stopped
    // answering.
    bool Read(const RecordQuery& query, RecordPage* page);
    // How the recorder stands; false when the records come from the files.
    bool Status(RecorderStatus* status);

private:
    RecorderLink mLink;
    bool mLive = false;
    std::string mDaemonError;
    std::string mPath[3];
    std::string mFileError[3];
    std::unique_ptr<Configuration::RecordFile> mFiles[3];
};
