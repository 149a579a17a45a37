#include "tools/web/CallLog.h"

#include "platform/msg/CDRKind.h"
#include "tools/TextPieces.h"

void CallLog::Open(uint8_t kinds) {
    if (mLink.Connect()) {
        mLive = true;
        return;
    }
    mDaemonError =
        TextPieces::Join({mLink.Error(), mLink.Unreachable() ? ". Is cdrd running?" : "."});
    OpenFiles(kinds);
}

void CallLog::FilesFailed(uint8_t kinds, const std::string& why) {
    for (int db = 0; db < 3; ++db)
        if (kinds & kCDRKinds[db])
            mFileError[db] = why;
}

void CallLog::OpenFiles(uint8_t kinds) {
    std::string error;
    const int fd = mReader.Start(kinds, &error);
    if (fd < 0)
        return FilesFailed(kinds,
                           TextPieces::Join({"The saved files cannot be read: ", error, "."}));
    mLink.Adopt(fd, SavedReader::Program());
    RecorderStatus files;
    if (!mLink.Status(&files)) {
        return FilesFailed(
            kinds, TextPieces::Join({"The saved files cannot be read: ", SavedReader::Program(),
                                     " did not answer (", mLink.Error(), ")."}));
    }
    mFilesRead = true;
    for (int db = 0; db < 3; ++db) mPath[db] = files.mDatabases[db].mPath;
    // A problem is a file not read, under its path; one under any other
    // file kept every path from being known.
    for (const Problem& problem : files.mProblems) {
        bool placed = false;
        for (int db = 0; db < 3; ++db) {
            if (!mPath[db].empty() && problem.mFile == mPath[db]) {
                mFileError[db] = problem.mWhat;
                placed = true;
            }
        }
        if (!placed)
            FilesFailed(
                kinds,
                TextPieces::Join({"The database's path is not known: ", problem.Describe(), "."}));
    }
}

bool CallLog::Read(const RecordQuery& query, RecordPage* page) {
    if (!mLive && !mFilesRead) {
        *page = RecordPage();  // nothing open: the page says why per database
        return true;
    }
    if (mLink.Read(query, page))
        return true;
    mDaemonError = mLink.Error();
    return false;
}

bool CallLog::Status(RecorderStatus* status) {
    if (!mLive)
        return false;
    if (mLink.Status(status))
        return true;
    mDaemonError = mLink.Error();
    return false;
}
