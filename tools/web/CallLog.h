#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/msg/AnswerViews.h"
#include "platform/msg/RecordQuery.h"
#include "tools/RecorderLink.h"
#include "tools/web/CtlProcess.h"

// Where the call log page's records come from: cdrd, through its read
// command, so that records not yet saved show too; or, when cdrd cannot be
// reached, the saved database files, which "cdrctl serve-saved" (see
// CtlProcess) reads and searches the same way (RecordSearch), and the page
// then says so.
//
// One per request, on one thread. Nothing throws: failures leave a sentence
// for a person (DaemonError, FileError). Answers are read in place (see
// AnswerViews.h).
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
    std::string_view Path(int db) const { return mFiles.mDatabases[db].mPath; }

    // The records of QUERY. False, with DaemonError(), when cdrd stopped
    // answering.
    bool Read(const RecordQuery& query, RecordList* list);
    // How the recorder stands, as a view of *ANSWER; false when the records
    // come from the files.
    bool Status(std::string* answer, StatusView* status);

private:
    void OpenFiles(uint8_t kinds);
    void FilesFailed(uint8_t kinds, const std::string& why);

    CtlProcess mReader;  // outlives the link, so that its end closes first
    RecorderLink mLink;
    bool mLive = false;
    bool mFilesRead = false;  // the reader answered
    std::string mDaemonError;
    // The reader's status, for the files' paths and what kept one from
    // being read.
    std::string mFilesAnswer;
    StatusView mFiles;
    std::string mFileError[3];
};
