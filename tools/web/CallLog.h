#pragma once

#include <string>

#include "platform/msg/RecordQuery.h"
#include "platform/msg/RecorderStatus.h"
#include "tools/RecorderLink.h"
#include "tools/web/SavedReader.h"

// Where the call log page's records come from: cdrd, through its read
// command, so that records not yet saved show too; or, when cdrd cannot be
// reached, the saved database files, which SavedReader reads and searches
// the same way (RecordSearch) and the page then says so.
//
// One per request, on one thread. Nothing throws: failures leave a sentence
// for a person (DaemonError, FileError).
class CallLog {
public:
    explicit CallLog(int timeoutMs) : mLink(timeoutMs) {}

    // Connects to cdrd; when that fails, has the saved files of the
    // databases that KINDS selects (bits 1, 2, 4) read.
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
    void OpenFiles(uint8_t kinds);
    void FilesFailed(uint8_t kinds, const std::string& why);

    SavedReader mReader;  // outlives the link, so that its end closes first
    RecorderLink mLink;
    bool mLive = false;
    bool mFilesRead = false;  // the reader answered
    std::string mDaemonError;
    std::string mPath[3];
    std::string mFileError[3];
};
